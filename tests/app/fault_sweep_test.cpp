// SPDX-License-Identifier: MIT
// Every platform call of the whole program made to fail, one at a time, and
// the process ended at every call, as a power cut would: on a demo machine
// with two profiles (one whose name ends in a 0x5C trail byte), in both backup
// modes and with no backup. After each run the installation must keep the
// no-loss invariant, before and after the restart that follows, and a failure
// must have been told to the user, never followed by a report of success.
//
// Each run is a child process, so that a kill ends only that run. The time
// spent is bounded by SABREL_SWEEP_SECONDS (default 240); the cases are taken
// round robin across modes and kinds, so a cut still covers all of them.
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/form1.h"
#include "app/program.h"
#include "options/form2.h"
#include "platform/offline/offline_platform.h"
#include "programs/sabrel-hive/machine.h"
#include "tests/support/fault_platform.h"
#include "tests/support/no_loss.h"
#include "ui/script/script_ui.h"

#include <gtest/gtest.h>

namespace sabrel::test {
namespace {

namespace fs = std::filesystem;

constexpr int kKilledExit = 77;
constexpr platform::DWORD kCodes[] = {112, 5, 32, 1117};

struct Mode {
    const char* name;
    std::vector<const char*> controls;  // options clicked before the run
    bool archive;
};
// Every mode also sets the caches aside, for the most calls per run.
const Mode kModes[] = {
    {"copy", {"rbBUcopy", "cbDelFCache", "cbDelICache"}, false},
    {"archive", {"cbDelFCache", "cbDelICache"}, true},
    {"rebuild-only", {"rbRebldOnly", "cbDelFCache", "cbDelICache"}, false},
};

// One way through the program: a mode, on a fresh machine or on one where a
// run already left its files and entries (no restart in between), ended by
// the end-of-run button or by the withdrawal.
struct Variant {
    const Mode* mode;
    bool rerun;
    bool withdraw;
    std::string Name() const {
        return std::string(mode->name) + (rerun ? " rerun" : "") + (withdraw ? " withdrawn" : "");
    }
};

struct Case {
    const Variant* variant = nullptr;
    FaultKind kind = FaultKind::kCount;  // kCount: a kill (or nothing when n is 0)
    int n = 0;
    platform::DWORD code = 0;
    bool torn = false;

    std::string Name() const {
        std::string s = variant->Name() + ": ";
        if (kind == FaultKind::kCount) {
            return s + (torn ? "torn write and kill at call " : "kill at call ") +
                   std::to_string(n);
        }
        return s + KindName(kind) + " #" + std::to_string(n) + " error " + std::to_string(code);
    }
};

// What a child run reports through its pipe.
struct Report {
    std::vector<std::string> boxes;      // messages
    std::vector<std::string> questions;  // confirmations
    std::string page;                    // the page the run ended on ("" if it never got there)
    bool fired = false;
    int status = -1;  // exit status; -1 when not a normal exit
    std::map<std::string, int> counts;
    int total = 0;
    std::vector<int> writes;
};

// The script backend of a child: every box goes to the parent at once, since
// the process may end at any moment afterwards.
class ReportingUi : public ui::ScriptUi {
  public:
    explicit ReportingUi(int fd) : fd_(fd) {}
    ui::Answer MessageBox(ui::BoxKind kind, const std::string& caption,
                          const std::string& text) override {
        std::string line = (kind == ui::BoxKind::Confirm ? "ASK " : "BOX ") + text;
        for (char& c : line) c = c == '\n' || c == '\r' ? ' ' : c;
        Send(line);
        if (kind == ui::BoxKind::Confirm) QueueAnswer(ui::Answer::Yes);
        return ScriptUi::MessageBox(kind, caption, text);
    }
    void Send(const std::string& line) {
        std::string l = line + "\n";
        if (::write(fd_, l.data(), l.size()) < 0) ::_exit(3);
    }

  private:
    int fd_;
};

std::string PageOf(const ui::Form& f) {
    const ui::Control* page = f.Get("nbStage").ActivePage();
    return page ? page->Name() : std::string();
}

// The child: the program on the fault-injecting platform, driven as a user
// who picks the mode, presses OK and the end-of-run or finish button.
[[noreturn]] void RunChild(const Case& c, const fs::path& dir, int fd) {
    ::setenv("SABREL_WINDIR", (dir / "WINDOWS").c_str(), 1);
    ::setenv("SABREL_RUNTIME_DIR", (dir / "run").c_str(), 1);
    const Mode& mode = *c.variant->mode;
    if (mode.archive) {
        ::setenv("SABREL_UNLHA_PATH", SABREL_TEST_UNLHA, 1);
    } else {
        ::unsetenv("SABREL_UNLHA_PATH");
    }
    platform::offline::OfflinePlatform inner;
    FaultPlatform p(&inner);
    if (c.kind != FaultKind::kCount && c.n > 0) p.FailAt(c.kind, c.n, c.code);
    if (c.kind == FaultKind::kCount && c.n > 0) p.KillAt(c.n, c.torn, kKilledExit);
    platform::Set(&p);
    ReportingUi ui(fd);
    ui.SetAutoOk(true);
    ui.SetFailureHandler([&ui](const std::string& what) { ui.Send("UNEXPECTED " + what); });
    std::string page;
    ui.SetLoop([&](ui::ScriptUi&) {
        app::TForm1& f = *app::Form1;
        ui.QueueModal([&](ui::Form& options) {
            // A control's tab comes to the front first, as a user's click needs.
            auto front = [&](const char* name) {
                ui::Control& pages = options.Get("pgOption");
                for (ui::Control* t = &options.Get(name); t; t = t->Parent()) {
                    if (t->Kind() != ui::ControlKind::TabSheet) continue;
                    std::vector<ui::Control*> tabs = pages.Pages();
                    for (std::size_t i = 0; i < tabs.size(); ++i) {
                        if (tabs[i] == t) ui.SelectPage(options, "pgOption", static_cast<int>(i));
                    }
                }
            };
            // Every hive, not only the logged-on user's.
            front("lbRegs");
            const ui::Control& list = options.Get("lbRegs");
            for (std::size_t i = 0; i < list.Count(); ++i) {
                if (!list.Marked(i)) ui.ClickItem(options, "lbRegs", i);
            }
            for (const char* name : mode.controls) {
                front(name);
                if (!ui.Click(options, name))
                    ui.Send(std::string("UNEXPECTED no click on ") + name);
            }
            ui.Click(options, "btOK");
        });
        ui.Click(f, "btOption");
        if (!ui.Click(f, "btOk")) {
            page = PageOf(f);
            ui.Click(f, "btCancel");
            return;
        }
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (PageOf(f) == "01" && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ui.Tick(f, "Timer1");
        }
        page = PageOf(f);
        if (page == "03") {
            while (ui.Tick(f, "Timer1")) {
            }
            if (!c.variant->withdraw) {
                ui.Click(f, "btReboot");
                return;
            }
            ui.Click(f, "btAbort");  // answered yes: the rebuilt files go
        }
        if (PageOf(f) == "02") {
            ui.Click(f, "btFin1");
        }
    });
    app::RunProgram();
    ui.Send("PAGE " + page);
    ui.Send(std::string("FIRED ") + (p.Fired() ? "1" : "0"));
    for (int k = 0; k < static_cast<int>(FaultKind::kCount); ++k) {
        ui.Send(std::string("COUNT ") + KindName(static_cast<FaultKind>(k)) + " " +
                std::to_string(p.Calls(static_cast<FaultKind>(k))));
    }
    ui.Send("TOTAL " + std::to_string(p.TotalCalls()));
    std::string writes = "WRITES";
    for (int n : p.FileWriteCalls()) writes += " " + std::to_string(n);
    ui.Send(writes);
    ::_exit(0);
}

Report RunCase(const Case& c, const fs::path& dir) {
    int fds[2];
    Report r;
    if (::pipe(fds) != 0) return r;
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        RunChild(c, dir, fds[1]);
    }
    ::close(fds[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::string word = line.substr(0, line.find(' '));
        std::string rest = line.size() > word.size() ? line.substr(word.size() + 1) : "";
        if (word == "BOX") r.boxes.push_back(rest);
        if (word == "ASK") r.questions.push_back(rest);
        if (word == "UNEXPECTED") r.boxes.push_back("(unscripted) " + rest);
        if (word == "PAGE") r.page = rest;
        if (word == "FIRED") r.fired = rest == "1";
        if (word == "TOTAL") r.total = std::stoi(rest);
        if (word == "WRITES") {
            std::istringstream numbers(rest);
            for (int n; numbers >> n;) r.writes.push_back(n);
        }
        if (word == "COUNT") {
            std::size_t sp = rest.find(' ');
            r.counts[rest.substr(0, sp)] = std::stoi(rest.substr(sp + 1));
        }
    }
    return r;
}

// What a complete run leaves after the restart: the hives that were replaced
// and the number of backups the restore batch names.
struct Result {
    std::set<std::string> replaced;
    std::size_t backups = 0;
};

Result ResultOf(const InstallationSnapshot& before) {
    Result r;
    for (const HiveSnapshot& h : before.hives) {
        std::ifstream f(h.host, std::ios::binary);
        std::string now((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (now != h.bytes) r.replaced.insert(h.host.substr(before.hostWindir.size()));
    }
    std::ifstream batch(before.hostWindir + "/HELP/SBRCOVER.BAT", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(batch)), std::istreambuf_iterator<char>());
    for (std::size_t at = 0; (at = text.find("IF EXIST ", at)) != std::string::npos; ++at) {
        ++r.backups;
    }
    return r;
}

class FaultSweep : public ::testing::Test {
  protected:
    void SetUp() override {
        // Memory-backed when possible: thousands of runs, each flushing its files.
        fs::path base =
            ::access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm") : fs::temp_directory_path();
        if (const char* d = std::getenv("SABREL_SWEEP_DIR")) base = d;
        root = base / ("sabrel-sweep-" + std::to_string(::getpid()));
        fs::remove_all(root);
        tool::MachineOptions o;
        o.me = true;
        o.user = u8"表ソ";
        o.profiles = {"Taro", u8"表ソ"};
        o.keys = 120;
        std::string error;
        ASSERT_TRUE(tool::MakeMachine((root / "fresh").string(), o, &error)) << error;
    }
    void TearDown() override {
        ::umount((root / "case").c_str());  // a full-disk case cut short
        fs::remove_all(root);
    }

    static std::string TemplateOf(const Variant& v) {
        return v.rerun ? std::string("rerun-") + v.mode->name : "fresh";
    }
    // A machine on which a complete run of the variant's mode has left its
    // rebuilt files, backups, batch and entries, without a restart since.
    void MakeRerunTemplate(const Variant& v) {
        fs::path dir = root / TemplateOf(v);
        if (fs::exists(dir)) return;
        fs::copy(root / "fresh", dir, fs::copy_options::recursive);
        fs::create_directories(dir / "run");
        Variant first{v.mode, false, false};
        Report r = RunCase(Case{&first}, dir);
        ASSERT_EQ(r.page, "03") << v.Name();
        fs::remove_all(dir / "run");
    }
    fs::path Fresh(const Variant& v) {
        fs::path dir = root / "case";
        fs::remove_all(dir);
        if (diskSize > 0) {
            fs::create_directories(dir);
            std::string size = "size=" + std::to_string(diskSize);
            if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, size.c_str()) != 0) return fs::path();
        }
        fs::copy(root / TemplateOf(v), dir, fs::copy_options::recursive);
        fs::create_directories(dir / "run");
        return dir;
    }

    // Runs one case and checks it; returns the violations, each with the case.
    std::vector<std::string> Check(const Case& c, const Result* complete, Report* out = nullptr,
                                   Result* result = nullptr) {
        fs::path dir = Fresh(*c.variant);
        if (dir.empty())
            return {"cannot mount the small disk: " + std::string(std::strerror(errno))};
        InstallationSnapshot before = TakeSnapshot((dir / "WINDOWS").string());
        Report r = RunCase(c, dir);
        std::vector<std::string> v;
        bool killed = c.kind == FaultKind::kCount && c.n > 0 && r.status == kKilledExit;
        if (!killed && r.status != 0 && r.status != 1) {
            v.push_back("the run ended with status " + std::to_string(r.status));
        }
        for (const std::string& s : CheckNoLoss(before, false)) v.push_back("before restart: " + s);
        for (const std::string& s : StrictRestart(before)) v.push_back("restart: " + s);
        for (const std::string& s : CheckNoLoss(before, true)) v.push_back("after restart: " + s);
        for (const std::string& b : r.boxes) {
            if (b.rfind("(unscripted)", 0) == 0) v.push_back(b);
        }
        Result got = ResultOf(before);
        // A failure nobody was told of is acceptable only when the run still
        // did all it would have done without it.
        if (!killed && (r.fired || diskSize > 0) && complete && r.boxes.empty() &&
            (got.replaced != complete->replaced || got.backups < complete->backups)) {
            v.push_back("a failure went untold: the run ended on page " +
                        (r.page.empty() ? std::string("(none)") : r.page) + " without a message");
        }
        if (diskSize > 0) {
            for (std::string& s : v) s = std::to_string(diskSize) + " bytes of disk: " + s;
            ::umount(dir.c_str());
        }
        for (std::string& s : v) s = c.Name() + ": " + s;
        if (out) *out = r;
        if (result) *result = got;
        return v;
    }

    fs::path root;
    std::uint64_t diskSize = 0;  // not 0: each case runs on a tmpfs this large
};

TEST_F(FaultSweep, EveryFailureAndEveryKillKeepsEveryHive) {
    double budget = 240;
    if (const char* s = std::getenv("SABREL_SWEEP_SECONDS")) budget = std::atof(s);
    auto start = std::chrono::steady_clock::now();

    std::vector<Variant> variants;
    for (const Mode& m : kModes) {
        for (bool rerun : {false, true}) {
            for (bool withdraw : {false, true}) variants.push_back(Variant{&m, rerun, withdraw});
        }
    }
    // A clean run of each variant must succeed without a message; it gives the
    // number of calls of each kind to sweep over.
    std::vector<std::vector<Case>> queues;
    std::map<const Variant*, Result> complete;
    for (const Variant& variant : variants) {
        if (variant.rerun) MakeRerunTemplate(variant);
        auto cleanStart = std::chrono::steady_clock::now();
        Report clean;
        Result result;
        std::vector<std::string> v = Check(Case{&variant}, nullptr, &clean, &result);
        EXPECT_TRUE(v.empty()) << v.front();
        ASSERT_EQ(clean.page, "03") << variant.Name();
        EXPECT_TRUE(clean.boxes.empty()) << variant.Name() << ": " << clean.boxes.front();
        EXPECT_EQ(result.replaced.empty(), variant.withdraw) << variant.Name();
        complete[&variant] = result;
        std::printf(
            "[sweep] %s: %d calls, %.0f ms;", variant.Name().c_str(), clean.total,
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - cleanStart)
                .count());
        for (int k = 0; k < static_cast<int>(FaultKind::kCount); ++k) {
            FaultKind kind = static_cast<FaultKind>(k);
            int calls = clean.counts[KindName(kind)];
            std::printf(" %s %d", KindName(kind), calls);
            std::vector<Case> q;
            for (int n = 1; n <= calls; ++n) {
                for (platform::DWORD code : kCodes) q.push_back(Case{&variant, kind, n, code});
            }
            queues.push_back(q);
        }
        std::printf("\n");
        std::vector<Case> kills;
        for (int n = 1; n <= clean.total; ++n) {
            kills.push_back(Case{&variant, FaultKind::kCount, n, 0, false});
        }
        for (int n : clean.writes) kills.push_back(Case{&variant, FaultKind::kCount, n, 0, true});
        queues.push_back(kills);
    }

    std::size_t planned = 0;
    for (const auto& q : queues) planned += q.size();
    int faults = 0, kills = 0, runs = 0, told = 0, tolerated = 0;
    std::map<std::string, int> silentByKind;  // faults the run absorbed without a word
    std::vector<std::string> violations;
    bool cut = false;
    for (std::size_t i = 0; !cut; ++i) {
        bool any = false;
        for (const auto& q : queues) {
            if (i >= q.size()) continue;
            any = true;
            if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >
                budget) {
                cut = true;
                break;
            }
            const Case& c = q[i];
            Report r;
            std::vector<std::string> v = Check(c, &complete[c.variant], &r);
            ++runs;
            if (c.kind == FaultKind::kCount) {
                kills += r.status == kKilledExit;
            } else if (r.fired) {
                ++faults;
                r.boxes.empty() ? ++tolerated : ++told;
                if (r.boxes.empty()) ++silentByKind[KindName(c.kind)];
            }
            for (std::string& s : v) {
                std::printf("[sweep] VIOLATION %s\n", s.c_str());
                violations.push_back(s);
            }
        }
        if (!any) break;
    }
    std::printf(
        "[sweep] runs %d of %zu planned%s; faults injected %d (told %d, tolerated "
        "silently %d); kills %d; violations %zu\n",
        runs, planned, cut ? " (cut by SABREL_SWEEP_SECONDS)" : "", faults, told, tolerated, kills,
        violations.size());
    std::printf("[sweep] absorbed without a message (the run still did all it does):");
    for (const auto& [kind, n] : silentByKind) std::printf(" %s %d", kind.c_str(), n);
    std::printf("\n");
    EXPECT_TRUE(violations.empty())
        << violations.size() << " violations, the first: " << violations.front();
}

// Every key and value of a hive as libcreg reads it (a sample beside the
// project's own reader, which the sweep uses for speed).
std::string LibcregDump(const fs::path& hive) {
    std::string cmd = "/usr/bin/python3 " SABREL_CREG_DUMP " '" + hive.string() + "' 2>&1";
    std::string out;
    FILE* f = ::popen(cmd.c_str(), "r");
    if (!f) return "popen failed";
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    ::pclose(f);
    return out;
}

// Runs `lines` as a batch file in dosbox with C: = `drive`; "OK" when it ran
// to its end, otherwise what went wrong.
std::string RunDos(const fs::path& drive, const fs::path& work, const std::string& lines) {
    std::string bat = "@echo off\r\n" + lines + "echo OK> C:\\RESULT.TXT\r\n";
    { std::ofstream(drive / "RUN.BAT", std::ios::binary) << bat; }
    fs::remove(drive / "RESULT.TXT");
    fs::create_directories(work / "home");
    {
        std::ofstream(work / "db.conf", std::ios::binary)
            << "[sdl]\noutput=surface\n[dosbox]\nmemsize=16\n[cpu]\ncore=dynamic\ncycles=max\n"
               "[mixer]\nnosound=true\n[speaker]\npcspeaker=false\n[midi]\nmpu401=none\n"
               "mididevice=none\n[autoexec]\nmount c \""
            << drive.string() << "\"\nc:\ncall RUN.BAT\nexit\n";
    }
    std::string cmd = "HOME='" + (work / "home").string() +
                      "' SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 120 dosbox -conf '" +
                      (work / "db.conf").string() + "' -noconsole >/dev/null 2>&1";
    int rc = std::system(cmd.c_str());
    if (WIFEXITED(rc) && WEXITSTATUS(rc) == 124) return "TIMEOUT";
    std::ifstream f(drive / "RESULT.TXT");
    std::string r;
    std::getline(f, r);
    while (!r.empty() && (r.back() == '\r' || r.back() == ' ')) r.pop_back();
    return r.empty() ? "no result" : r;
}

// End to end in both backup modes: the run, the restart that puts the rebuilt
// hives in place (libcreg reads the same keys and values as before), then the
// restore batch in DOS, which puts back every original hive byte for byte.
// dosbox's DOS reads 0x5C as a separator whatever byte comes before it, so
// the machine here has ASCII profile names; the sweep covers "表ソ".
TEST_F(FaultSweep, RestoreBatchPutsTheOriginalHivesBackInDos) {
    if (std::system("command -v dosbox >/dev/null && command -v timeout >/dev/null") != 0) {
        GTEST_SKIP() << "dosbox is not installed: the DOS restore is skipped";
    }
    tool::MachineOptions o;
    o.me = true;
    o.user = "Taro";
    o.profiles = {"Taro"};
    o.keys = 150;
    std::string error;
    ASSERT_TRUE(tool::MakeMachine((root / "ascii").string(), o, &error)) << error;
    fs::create_directories(root / "probe");
    if (std::string r = RunDos(root / "probe", root, ""); r != "OK") {
        GTEST_SKIP() << "dosbox did not run a batch file (" << r << ")";
    }
    for (const Mode& m : kModes) {
        if (std::string(m.name) == "rebuild-only") continue;
        SCOPED_TRACE(m.name);
        fs::path dir = root / "case";
        fs::remove_all(dir);
        fs::copy(root / "ascii", dir, fs::copy_options::recursive);
        fs::create_directories(dir / "run");
        InstallationSnapshot before = TakeSnapshot((dir / "WINDOWS").string());
        ASSERT_EQ(before.hives.size(), 4u);
        std::vector<std::string> dumps;
        for (const HiveSnapshot& h : before.hives) dumps.push_back(LibcregDump(h.host));
        Variant variant{&m, false, false};
        Report r = RunCase(Case{&variant}, dir);
        ASSERT_EQ(r.page, "03");
        EXPECT_TRUE(r.boxes.empty()) << r.boxes.front();
        EXPECT_TRUE(CheckNoLoss(before, false).empty());
        EXPECT_TRUE(StrictRestart(before).empty());
        std::vector<std::string> v = CheckNoLoss(before, true);
        EXPECT_TRUE(v.empty()) << v.front();
        for (std::size_t i = 0; i < before.hives.size(); ++i) {
            const HiveSnapshot& h = before.hives[i];
            std::ifstream f(h.host, std::ios::binary);
            std::string now((std::istreambuf_iterator<char>(f)), {});
            EXPECT_NE(now, h.bytes) << h.dos << " was not replaced";
            EXPECT_EQ(LibcregDump(h.host), dumps[i]) << h.dos;
        }

        // ATTRIB stands in as a program that does nothing (mov ax,4C00h;
        // int 21h): dosbox keeps no attributes on host folders anyway. PAUSE
        // would wait for a key.
        fs::create_directories(dir / "WINDOWS" / "COMMAND");
        {
            std::ofstream(dir / "WINDOWS" / "COMMAND" / "ATTRIB.COM", std::ios::binary)
                << std::string("\xB8\x00\x4C\xCD\x21", 5);
        }
        std::ifstream b(dir / "WINDOWS" / "HELP" / "SBRCOVER.BAT", std::ios::binary);
        std::string batch((std::istreambuf_iterator<char>(b)), {});
        ASSERT_NE(batch.find("PAUSE\r\n"), std::string::npos);
        batch.erase(batch.find("PAUSE\r\n"), 7);
        EXPECT_EQ(RunDos(dir, root, batch), "OK");
        for (const HiveSnapshot& h : before.hives) {
            std::ifstream f(h.host, std::ios::binary);
            std::string now((std::istreambuf_iterator<char>(f)), {});
            EXPECT_TRUE(now == h.bytes) << h.dos << " is not the original after the restore";
        }
    }
}

// A real full disk: the machine on a tmpfs with less room than a run needs,
// from none to just short of enough, in every mode. Needs the right to mount,
// which a root test run has; elsewhere it is skipped with the reason.
TEST_F(FaultSweep, FullDiskKeepsEveryHiveAndIsReported) {
    std::uint64_t machine = 0;
    for (const auto& e : fs::recursive_directory_iterator(root / "fresh")) {
        if (e.is_regular_file()) machine += (e.file_size() + 4095) / 4096 * 4096;
    }
    fs::path probe = root / "probe";
    fs::create_directories(probe);
    if (::mount("tmpfs", probe.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                     << "): the full-disk runs are skipped";
    }
    ::umount(probe.c_str());
    int runs = 0, told = 0;
    std::vector<std::string> violations;
    for (const Mode& m : kModes) {
        Variant variant{&m, false, false};
        // What a complete run needs on top of the machine.
        Report clean;
        Result complete;
        ASSERT_TRUE(Check(Case{&variant}, nullptr, &clean, &complete).empty());
        std::uint64_t need = 0;
        for (const auto& e : fs::recursive_directory_iterator(root / "case")) {
            if (e.is_regular_file()) need += (e.file_size() + 4095) / 4096 * 4096;
        }
        need = need > machine ? need - machine : 0;
        for (std::uint64_t free : {std::uint64_t{0}, std::uint64_t{4096}, need / 4, need / 2,
                                   need * 3 / 4, need - 4096}) {
            diskSize = machine + free + 4096;
            Report r;
            for (std::string& s : Check(Case{&variant}, &complete, &r)) {
                std::printf("[full disk] VIOLATION %s\n", s.c_str());
                violations.push_back(s);
            }
            ++runs;
            told += !r.boxes.empty();
        }
        diskSize = 0;
    }
    std::printf("[full disk] runs %d, told %d; violations %zu\n", runs, told, violations.size());
    EXPECT_TRUE(violations.empty()) << violations.front();
    EXPECT_GT(told, 0);
}

}  // namespace
}  // namespace sabrel::test
