// SPDX-License-Identifier: MIT
// The command lines the library takes: "a -a1 ARCHIVE FILE" and
// "s ARCHIVE FOLDER\". Arguments are separated by blanks; double quotes group
// a path with blanks. A caller that inserts paths with blanks unquoted still
// gets them whole: the archive path is taken to end at the first argument
// whose extension is ".LZH", and the rest of the line is the second path.
#pragma once

#include <string>
#include <vector>

namespace sabrel::archiver {

struct CommandLine {
    std::string command;                // "a", "s", ... in lower case
    std::vector<std::string> switches;  // "-a1", ...
    std::vector<std::string> paths;     // the non-switch arguments
};

// False when the line holds no command or has an unmatched quote.
bool ParseCommandLine(const std::string& text, CommandLine* out);

}  // namespace sabrel::archiver
