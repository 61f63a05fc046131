// SPDX-License-Identifier: MIT
// sabrel-hive rebuild: the wizard's whole run without a window. The program
// itself runs on the offline platform and the script backend; this command
// plays the user: it sets the options dialog as asked, presses OK, waits for
// the run, and ends it as the chosen end option says (with --apply the
// restart, which carries out WININIT.INI). Every message box the run shows is
// printed as UTF-8 and answered with the button that goes on the least.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/form1.h"
#include "app/program.h"
#include "backup/backup.h"
#include "common/paths.h"
#include "common/text_conversion.h"
#include "common/texts.h"
#include "hive/checker.h"
#include "options/form2.h"
#include "platform/offline/offline_platform.h"
#include "programs/sabrel-hive/commands.h"
#include "programs/sabrel-hive/json.h"
#include "rebuild/wininit.h"
#include "ui/script/script_ui.h"

namespace sabrel::tool {

namespace {

constexpr char kRebuildUsage[] =
    "usage: sabrel-hive rebuild [--image FILE [--partition N] | --windir DIR]\n"
    "                           [--targets LIST] [--backup copy|archive|none]\n"
    "                           [--apply] [--json]\n"
    "\n"
    "Runs what the wizard's OK runs, without a window, on a Windows 95/98/Me\n"
    "installation in a disk image or a folder: the checks, the backups and HELP\\SBRCOVER.BAT, "
    "the\n"
    "rebuild, and the WININIT.INI entries. Nothing is asked; every message the\n"
    "wizard would show is printed on standard error.\n"
    "\n"
    "options:\n"
    "  --image FILE    a disk image: raw (with or without a partition table) or\n"
    "                  VHD; the Windows folder is the one MSDOS.SYS names\n"
    "  --partition N   the partition of the image (default: the one FAT\n"
    "                  partition that holds Windows)\n"
    "  --windir DIR    the Windows folder in a folder tree\n"
    "                  (default: $SABREL_IMAGE, else $SABREL_WINDIR)\n"
    "  --targets LIST  the hives, comma-separated, as the options dialog lists\n"
    "                  them (SYSTEM.DAT,USER.DAT,Profiles\\NAME\\USER.DAT); 'all'\n"
    "                  for every one; default: the dialog's own selection\n"
    "  --backup MODE   copy (.BEF beside each hive), archive (self-extracting\n"
    "                  LZH) or none; default: the dialog's own (archive when the\n"
    "                  archiver library loads, else copy)\n"
    "  --apply         also carry out the replacement that the next start of\n"
    "                  Windows would make\n"
    "  --json          one JSON object per hive on standard output: path, status,\n"
    "                  sizes and counts before and after, backup file, message\n"
    "  -h, --help      show this help\n"
    "\n"
    "status of a hive: rebuilt (scheduled in WININIT.INI), replaced (--apply),\n"
    "failed, or left alone (the run stopped before it, or withdrew it).\n"
    "exit status: 0 every hive rebuilt (and replaced with --apply) and no message\n"
    "shown, 1 a hive failed or was left alone, 2 usage error (also a --targets\n"
    "entry that the installation does not list).\n";

int UsageError(const std::string& message) {
    std::fprintf(stderr, "sabrel-hive rebuild: %s\n\n%s", message.c_str(), kRebuildUsage);
    return 2;
}

enum class BackupMode { kDialog, kCopy, kArchive, kNone };

struct Plan {
    std::vector<std::string> targets;  // CP932; empty: the dialog's selection
    bool allTargets = false;
    BackupMode backup = BackupMode::kDialog;
    bool apply = false;
    bool json = false;
};

std::string Utf8(const std::string& cp932) {
    std::string out = ConvertedOrSame("CP932", "UTF-8", cp932);
    std::string lines;
    for (char c : out) {
        if (c != '\r') lines += c;
    }
    return lines;
}

// Prints every box as it comes and answers it with the button that goes on
// the least: no to a question, OK to everything else.
class HeadlessUi : public ui::ScriptUi {
  public:
    ui::Answer MessageBox(ui::BoxKind kind, const std::string& caption,
                          const std::string& text) override {
        std::fprintf(stderr, "sabrel-hive rebuild: %s\n", Utf8(text).c_str());
        {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back(text);
        }
        QueueAnswer(kind == ui::BoxKind::Confirm   ? ui::Answer::No
                    : kind == ui::BoxKind::Warning ? ui::Answer::Yes
                                                   : ui::Answer::Ok);
        return ScriptUi::MessageBox(kind, caption, text);
    }
    std::vector<std::string> Messages() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
};

struct Snapshot {
    bool present = false;
    std::uint64_t size = 0;
    std::int32_t status = 0;
    hive::HiveCheckResult counts;
};

// One selected hive: where it is and what became of it.
struct HiveRecord {
    std::string entry;      // as listed, CP932
    std::string path;       // DOS path
    std::string shortPath;  // the WININIT.INI key, when it has one
    Snapshot before, after;
    std::string afterPath;  // the file `after` describes
    std::string backup;     // the backup file, when it exists
    std::string status = "left alone";
    std::string message;  // CP932
};

Snapshot Take(const std::string& path) {
    Snapshot s;
    platform::Platform& p = platform::Get();
    if (!p.GetFileSizeByPath(path.c_str(), &s.size)) return s;
    s.present = true;
    hive::HiveChecker checker(hive::ByteClassesFromPlatform(p));
    try {
        s.counts = checker.Check(path.c_str());
        s.status = checker.status;
    } catch (const std::exception&) {
        // The counts stay 0; the file was there but could not be read whole.
        s.status = hive::kCheckNoFile;
    }
    return s;
}

bool SameAsciiNoCase(const std::string& a, const std::string& b) {
    return options::SameNameIgnoringAsciiCase(a, b);
}

// True when WININIT.INI's [Rename] has an entry for `shortHive`.
bool Scheduled(const std::string& winDir, const std::string& shortHive) {
    if (shortHive.empty()) return false;
    char value[512] = {};
    const std::string file = rebuild::WininitPath(winDir);
    platform::Get().GetPrivateProfileStringA("Rename", shortHive.c_str(), "", value, sizeof value,
                                             file.c_str());
    return value[0] != '\0';
}

struct RunResult {
    enum class End { kNotRun, kAborted, kDone, kLastResort } end = End::kNotRun;
    std::vector<HiveRecord> hives;
    std::string problem;     // why the run could not start (UTF-8), for the user
    bool badTarget = false;  // --targets names a hive the installation lacks
};

std::string PageOf(const ui::Form& form) {
    const ui::Control* page = form.Get("nbStage").ActivePage();
    return page ? page->Name() : std::string();
}

// The user's part, from inside the program's message loop.
void Drive(HeadlessUi& ui, const Plan& plan, RunResult* result) {
    app::TForm1& main = *app::Form1;
    options::TForm2& dialog = *app::Form2;
    const std::string winDir = main.WinDirText();

    // The targets, marked as asked.
    if (plan.allTargets || !plan.targets.empty()) {
        std::vector<bool> found(plan.targets.size(), false);
        for (std::size_t i = 0; i < dialog.TargetCount(); ++i) {
            bool want = plan.allTargets;
            for (std::size_t k = 0; k < plan.targets.size(); ++k) {
                if (SameAsciiNoCase(dialog.TargetText(i), plan.targets[k])) {
                    want = true;
                    found[k] = true;
                }
            }
            dialog.lbRegs.SetMarked(i, want);
        }
        for (std::size_t k = 0; k < plan.targets.size(); ++k) {
            if (!found[k]) {
                result->problem = "no hive " + Utf8(plan.targets[k]) + " in this installation";
                result->badTarget = true;
                ui.Click(main, "btCancel");
                return;
            }
        }
    }
    if (dialog.SelectedCount() == 0) {
        ui::ShowWarning(texts::kMsgNothingSelected);
        ui.Click(main, "btCancel");
        return;
    }
    switch (plan.backup) {
        case BackupMode::kDialog:
            break;
        case BackupMode::kNone:
            dialog.rbRebldOnly.SetChecked(true);
            break;
        case BackupMode::kCopy:
            dialog.rbRebldBckup.SetChecked(true);
            dialog.rbBUcopy.SetChecked(true);
            break;
        case BackupMode::kArchive:
            if (!dialog.rbBUarc.Enabled()) {
                result->problem = "the archiver library " + std::string(texts::kArchiverDll) +
                                  " did not load; no archive backup";
                ui.Click(main, "btCancel");
                return;
            }
            dialog.rbRebldBckup.SetChecked(true);
            dialog.rbBUarc.SetChecked(true);
            break;
    }
    (plan.apply ? dialog.rbWinReboot : dialog.rbSBterm).SetChecked(true);

    for (const rebuild::TargetEntry& t : dialog.TargetsNow()) {
        if (!t.selected) continue;
        HiveRecord h;
        h.entry = t.text;
        h.path = JoinPath(winDir, t.text);
        rebuild::ShortPathOf(h.path, &h.shortPath);
        h.before = Take(h.path);
        result->hives.push_back(h);
    }

    std::atomic<int> exitCode{-1};
    main.exitProcessHook = [&exitCode](unsigned code) { exitCode = static_cast<int>(code); };
    const std::size_t boxesBefore = ui.Messages().size();
    if (!ui.Click(main, "btOk")) {
        result->problem = "the wizard cannot start on this installation";
        ui.Click(main, "btCancel");
        return;
    }
    while (PageOf(main) == "01" && exitCode.load() < 0 && !ui.QuitPosted()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ui.Tick(main, "Timer1");
    }
    const std::vector<std::string> shown = ui.Messages();
    if (exitCode.load() >= 0) {
        // The handler of last resort ended the run; the worker is finishing.
        result->end = RunResult::End::kLastResort;
        if (shown.size() > boxesBefore) {
            for (HiveRecord& h : result->hives) {
                if (!Scheduled(winDir, h.shortPath)) {
                    h.status = "failed";
                    h.message = shown.back();
                    break;
                }
            }
        }
        ui.PostQuit();
        return;
    }
    if (PageOf(main) == "02") {
        // Stopped: the hive that failed is the first without its entry. The
        // wizard's finish button then withdraws every entry of the run.
        result->end = RunResult::End::kAborted;
        for (HiveRecord& h : result->hives) {
            if (!Scheduled(winDir, h.shortPath)) {
                h.status = "failed";
                if (shown.size() > boxesBefore) h.message = shown.back();
                break;
            }
        }
        ui.Click(main, "btFin1");
        return;
    }
    result->end = RunResult::End::kDone;
    for (HiveRecord& h : result->hives) {
        h.status = Scheduled(winDir, h.shortPath) ? "rebuilt" : "failed";
    }
    while (ui.Tick(main, "Timer1")) {
    }
    ui.Click(main, "btReboot");
}

// What is on disk after the run, for each hive.
void Settle(const Plan& plan, bool archive, RunResult* result,
            const platform::offline::RestartResult* restart) {
    for (HiveRecord& h : result->hives) {
        if (h.status == "rebuilt") {
            bool replaced = false;
            if (restart) {
                for (const platform::offline::RenameOutcome& o : restart->outcomes) {
                    if (SameAsciiNoCase(o.key, h.shortPath) &&
                        o.result == platform::offline::RenameOutcome::Result::kReplaced) {
                        replaced = true;
                    }
                }
            }
            if (plan.apply && replaced) {
                h.status = "replaced";
                h.afterPath = h.path;
            } else if (plan.apply) {
                h.status = "left alone";
            } else {
                h.afterPath = ReplaceExtension(h.path, texts::kExtRebuilt);
            }
            if (!h.afterPath.empty()) h.after = Take(h.afterPath);
        }
        const std::string backup =
            archive ? backup::ArchiveBackupName(h.path, ".EXE") : backup::CopyBackupName(h.path);
        if (platform::FileExists(backup)) h.backup = backup;
    }
}

std::string CountsJson(const Snapshot& s) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "{\"status\": %d, \"good\": %d, \"bad\": %d, \"ghost\": %d}",
                  s.status, s.counts.goodKeys, s.counts.badKeys, s.counts.ghostKeys);
    return buf;
}

std::string Quoted(const std::string& cp932) {
    return cp932.empty() ? "null" : "\"" + JsonEscape(Utf8(cp932)) + "\"";
}

void PrintJson(const HiveRecord& h) {
    std::string line = "{\"path\": " + Quoted(h.path) + ", \"hive\": " + Quoted(h.entry) +
                       ", \"status\": \"" + h.status + "\"";
    line += ", \"size_before\": " + (h.before.present ? std::to_string(h.before.size) : "null");
    line += ", \"size_after\": " + (h.after.present ? std::to_string(h.after.size) : "null");
    line += ", \"before\": " + (h.before.present ? CountsJson(h.before) : "null");
    line += ", \"after\": " + (h.after.present ? CountsJson(h.after) : "null");
    line += ", \"rebuilt\": " + Quoted(h.after.present ? h.afterPath : std::string());
    line += ", \"backup\": " + Quoted(h.backup);
    line += ", \"message\": " + Quoted(h.message) + "}\n";
    std::fputs(line.c_str(), stdout);
}

void PrintText(const HiveRecord& h) {
    std::string line = Utf8(h.path) + ": " + h.status;
    if (h.before.present) {
        line += ", " + std::to_string(h.before.size) + " bytes";
        if (h.after.present) line += " -> " + std::to_string(h.after.size) + " bytes";
        line += ", keys " + std::to_string(h.before.counts.goodKeys) + "/" +
                std::to_string(h.before.counts.badKeys) + "/" +
                std::to_string(h.before.counts.ghostKeys);
        if (h.after.present) {
            line += " -> " + std::to_string(h.after.counts.goodKeys) + "/" +
                    std::to_string(h.after.counts.badKeys) + "/" +
                    std::to_string(h.after.counts.ghostKeys);
        }
    }
    if (!h.backup.empty()) line += ", backup " + Utf8(h.backup);
    std::puts(line.c_str());
}

bool ParseTargets(const std::string& list, Plan* plan) {
    if (list == "all") {
        plan->allTargets = true;
        return true;
    }
    std::size_t pos = 0;
    while (pos <= list.size()) {
        std::size_t comma = list.find(',', pos);
        if (comma == std::string::npos) comma = list.size();
        std::string name = list.substr(pos, comma - pos);
        pos = comma + 1;
        if (name.empty()) return false;
        for (char& c : name) {
            if (c == '/') c = '\\';
        }
        std::string ansi;
        if (!ConvertText("UTF-8", "CP932", name, &ansi)) return false;
        plan->targets.push_back(ansi);
    }
    return true;
}

}  // namespace

int CmdRebuild(int argc, char** argv) {
    Plan plan;
    const char* winDir = nullptr;
    const char* image = nullptr;
    unsigned partition = 0;
    for (int i = 0; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        if (a == "-h" || a == "--help") {
            std::fputs(kRebuildUsage, stdout);
            return 0;
        } else if (a == "--json") {
            plan.json = true;
        } else if (a == "--apply") {
            plan.apply = true;
        } else if (a == "--windir") {
            if (!value(&winDir) || !*winDir) return UsageError("--windir needs a folder");
        } else if (a == "--image") {
            if (!value(&image) || !*image) return UsageError("--image needs a file");
        } else if (a == "--partition") {
            char* end = nullptr;
            unsigned long n = value(&v) ? std::strtoul(v, &end, 10) : 0;
            if (!end || *end != '\0' || n == 0 || n > 255 || *v == '-') {
                return UsageError("--partition needs a number from 1 to 255");
            }
            partition = static_cast<unsigned>(n);
        } else if (a == "--targets") {
            if (!value(&v) || !ParseTargets(v, &plan)) return UsageError("bad --targets list");
        } else if (a == "--backup") {
            if (!value(&v)) return UsageError("--backup needs copy, archive or none");
            const std::string m = v;
            if (m == "copy") {
                plan.backup = BackupMode::kCopy;
            } else if (m == "archive") {
                plan.backup = BackupMode::kArchive;
            } else if (m == "none") {
                plan.backup = BackupMode::kNone;
            } else {
                return UsageError("--backup needs copy, archive or none, not " + m);
            }
        } else {
            return UsageError("unknown argument: " + a);
        }
    }
    auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    if (image && winDir) return UsageError("--image and --windir name two installations");
    if (partition && !image) return UsageError("--partition goes with --image");
    if (!image && !winDir && !set("SABREL_IMAGE") && !set("SABREL_WINDIR")) {
        return UsageError("no installation: give --image FILE or --windir DIR");
    }

    std::string refused;
    std::unique_ptr<platform::offline::OfflinePlatform> opened;
    if (image) {
        opened = platform::offline::OfflinePlatform::OpenImage(image, partition, "", &refused);
    } else {
        if (winDir) {
            ::setenv("SABREL_WINDIR", winDir, 1);
            ::unsetenv("SABREL_IMAGE");
        }
        opened = platform::offline::OfflinePlatform::OpenFromEnvironment(&refused);
    }
    if (!opened) {
        std::fprintf(stderr, "sabrel-hive rebuild: %s\n", Utf8(refused).c_str());
        return 1;
    }
    platform::offline::OfflinePlatform& platform = *opened;
    platform::Set(&platform);
    RunResult result;
    int programExit = 0;
    bool archive = false;
    std::size_t loops = 0;
    {
        HeadlessUi ui;
        ui.SetFailureHandler([](const std::string& what) {
            std::fprintf(stderr, "sabrel-hive rebuild: %s\n", what.c_str());
        });
        ui.SetLoop([&](ui::ScriptUi&) {
            ++loops;
            Drive(ui, plan, &result);
            archive = app::Form2->RunOptionsNow().archiveBackup;
        });
        programExit = app::RunProgram(app::Host::Offline);
        if (loops == 0 && programExit == 0) {
            result.problem = "another Sabrel is working on this installation";
        }
        const platform::offline::RestartResult restart = platform.lastRestart();
        Settle(plan, archive, &result,
               plan.apply && result.end == RunResult::End::kDone ? &restart : nullptr);
        bool clean =
            result.end == RunResult::End::kDone && ui.Messages().empty() && result.problem.empty();
        for (const HiveRecord& h : result.hives) {
            if (h.status != (plan.apply ? "replaced" : "rebuilt")) clean = false;
            if (plan.json) {
                PrintJson(h);
            } else {
                PrintText(h);
            }
        }
        std::fflush(stdout);
        if (!result.problem.empty()) {
            std::fprintf(stderr, "sabrel-hive rebuild: %s\n", result.problem.c_str());
        }
        platform::Set(nullptr);
        if (result.end == RunResult::End::kLastResort) {
            // The worker thread may still be unwinding; the process ends here.
            std::fflush(stderr);
            std::_Exit(1);
        }
        if (result.badTarget) return 2;
        return clean ? 0 : 1;
    }
}

}  // namespace sabrel::tool
