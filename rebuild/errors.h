// Failures that the run does not turn into a message of its own. They are
// raised to the worker thread's handler of last resort, which shows their text
// in an error box and ends the program (see RebuildThreadProc).
#pragma once

#include <stdexcept>
#include <string>

namespace sabrel::rebuild {

// A write to WININIT.INI that the platform refused. what() is the user-visible
// text "%s に書き込めません" with the file's path, in code page 932.
class WininitWriteError : public std::runtime_error {
  public:
    explicit WininitWriteError(const std::string& text) : std::runtime_error(text) {}
};

}  // namespace sabrel::rebuild
