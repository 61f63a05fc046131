// SPDX-License-Identifier: MIT
// The rebuild worker: the whole run that the wizard's OK starts, on its own
// thread. Its steps, in order (the code refers to these numbers):
//   1. the backup, in mode rebuild-and-back-up; the run goes on whatever it
//      achieved;
//   2. without a Windows directory, the run is aborted;
//   3. pre-flight: a hive left loaded under the temporary key MIRONET_SABREL
//      is unloaded;
//   4. for each selected hive, steps 5 to 13:
//   5. its path in the Windows directory;
//   6. the check before the rebuild;
//   7. the stale .CLN and the hive's old WININIT.INI entry are cleared;
//   8. both paths are taken in their short form;
//   9. load;
//  10. save as the .CLN;
//  11. unload;
//  12. the check of the .CLN, and the comparison of the counts;
//  13. the swap is scheduled in WININIT.INI;
//  14. with no hive selected, the run is aborted without a word;
//  15. the cache set-aside entries, the release of the archiver library, and
//      the run state done.
// The first failure shows its message, then sets the run state to aborted.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "hive/checker.h"
#include "platform/platform.h"
#include "rebuild/run_options.h"

namespace sabrel::rebuild {

// Values of the wizard's run state.
enum : std::int32_t {
    rsIdle = 0,
    rsRunning = 1,
    rsAborted = 2,
    rsDone = 3,
    rsRevealing = 4,
};
using RunState = std::atomic<std::int32_t>;

// The checker takes paths of at most this many bytes.
constexpr std::size_t kCheckerPathLimit = 255;

// Counts of one check, as the hive checker gives them.
using CheckCounts = hive::HiveCheckResult;

struct RunInputs {
    RunOptions options;
    std::vector<TargetEntry> targets;
    std::string winDir;  // without a trailing separator
};

// What the run calls in other parts of the program.
struct RunHooks {
    std::function<void()> backup;  // BackupReg; may raise a batch-write error
    // Checks the hive file at `path` (at most kCheckerPathLimit bytes); may
    // raise an input/output or out-of-memory error.
    std::function<CheckCounts(const std::string& path)> checkHive;
    // Releases the archiver library if it is loaded and not yet released.
    std::function<void()> releaseArchiver;
    // Ends the process; empty means the platform's ExitProcess.
    std::function<void(platform::UINT)> exitProcess;
};

// The thread parameter: everything one run needs, owned by the wizard.
struct RebuildJob {
    RunInputs inputs;
    RunHooks hooks;
    RunState* runState = nullptr;
};

// The run itself. Ends with *runState == rsAborted or rsDone, written once as
// its last act. Failures other parts raise pass through, and so does a refused
// removal of a hive's old WININIT.INI entry (as a WininitWriteError), which
// leaves the old rebuilt file in place.
void RunRebuild(RebuildJob& job);

// Thread entry (parameter: a RebuildJob). Runs RunRebuild; a failure raised by
// another part ends the program through the handler of last resort: an error
// box captioned "ｱﾌﾟﾘｹｰｼｮﾝ ｴﾗｰ" with the failure's text, then exit code 1.
platform::DWORD RebuildThreadProc(void* param);

// Starts the worker thread; false when the platform could not create it.
bool StartRebuildThread(RebuildJob* job, platform::DWORD* threadId);

}  // namespace sabrel::rebuild
