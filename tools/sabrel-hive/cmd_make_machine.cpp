#include <cstdio>

#include "tools/sabrel-hive/commands.h"

namespace sabrel::tool {

int CmdMakeMachine(int, char**) {
    std::fputs("sabrel-hive: this command is not built yet\n", stderr);
    return 1;
}

}  // namespace sabrel::tool
