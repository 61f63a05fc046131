// SPDX-License-Identifier: MIT
// The program: its entry and the four forms, each reachable through one
// program-wide reference while the program runs.
#pragma once

namespace sabrel::options {
class TForm2;
}
namespace sabrel::hive {
class HiveChecker;
using TForm4 = HiveChecker;
}  // namespace sabrel::hive

namespace sabrel::app {

class TForm1;
class TForm3;

extern TForm1* Form1;
extern options::TForm2* Form2;
extern TForm3* Form3;
extern hive::TForm4* Form4;

// Where the program runs. On Windows the platform gives the Windows directory
// of the running system. Offline the installation is named from outside and
// may be missing or empty; the program then says so once and ends before any
// window, instead of failing later in the backup and the run.
enum class Host { Windows, Offline };

// The program's entry, on the platform and Ui backend set by the caller:
// the single-instance rule, the application title, (offline) the installation
// check, the four forms created in order, then the message loop until a
// handler asks the application to end. Returns the process exit code (0; a
// second copy also ends with 0; 1 offline without an installation).
int RunProgram(Host host = Host::Windows);

}  // namespace sabrel::app
