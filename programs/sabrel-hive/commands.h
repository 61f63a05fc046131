// SPDX-License-Identifier: MIT
// Subcommands of sabrel-hive. Each takes the arguments after its own name and
// returns the process exit code: 0 success, 1 findings or failure, 2 usage.
#pragma once

namespace sabrel::tool {

int CmdCheck(int argc, char** argv);
int CmdDump(int argc, char** argv);
int CmdCompact(int argc, char** argv);
int CmdMake(int argc, char** argv);
int CmdMakeMachine(int argc, char** argv);
int CmdRebuild(int argc, char** argv);

}  // namespace sabrel::tool
