// SPDX-License-Identifier: MIT
// The whole program on a demo machine in a temporary folder: the offline
// platform (with a few hooks for faults no real machine gives on demand), the
// script backend, and helpers to drive the wizard and read what is on disk.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "app/form1.h"
#include "app/form3.h"
#include "app/program.h"
#include "hive/checker.h"
#include "options/form2.h"
#include "platform/offline/offline_platform.h"
#include "platform/offline/registry/hive_file.h"
#include "platform/offline/registry/registry_engine.h"
#include "platform/offline/restart.h"
#include "programs/sabrel-hive/machine.h"
#include "ui/script/script_ui.h"

namespace sabrel::test {

namespace fs = std::filesystem;

class HookedPlatform : public platform::offline::OfflinePlatform {
  public:
    std::function<void(const char* file)> afterSave;
    std::function<void()> beforeLoad;
    bool refuseExitWindows = false;
    bool refuseVersion = false;
    bool refuseThreads = false;
    // Non-zero: the version record's build field, as the system would fill it.
    platform::DWORD buildField = 0;
    std::atomic<int> freedLibraries{0};
    int exitWindowsFlags = -1;

    platform::LONG RegSaveKeyA(platform::HKEY key, const char* file, void* sa) override {
        platform::LONG r = OfflinePlatform::RegSaveKeyA(key, file, sa);
        if (r == 0 && afterSave) afterSave(file);
        return r;
    }
    platform::LONG RegLoadKeyA(platform::HKEY root, const char* subKey, const char* file) override {
        if (beforeLoad) beforeLoad();
        return OfflinePlatform::RegLoadKeyA(root, subKey, file);
    }
    platform::BOOL GetVersionExA(platform::OsVersionInfo* info) override {
        if (refuseVersion) {
            SetLastError(platform::kErrorInvalidParameter);
            return 0;
        }
        platform::BOOL ok = OfflinePlatform::GetVersionExA(info);
        if (ok && buildField) info->dwBuildNumber = buildField;
        return ok;
    }
    platform::BOOL CreateThread(platform::ThreadProc proc, void* param,
                                platform::DWORD* id) override {
        if (refuseThreads) {
            SetLastError(platform::kErrorNotEnoughMemory);
            return 0;
        }
        return OfflinePlatform::CreateThread(proc, param, id);
    }
    platform::BOOL FreeLibrary(platform::HMODULE module) override {
        ++freedLibraries;
        return OfflinePlatform::FreeLibrary(module);
    }
    platform::BOOL ExitWindowsEx(platform::UINT flags, platform::DWORD reserved) override {
        exitWindowsFlags = static_cast<int>(flags);
        if (refuseExitWindows) {
            SetLastError(platform::kErrorAccessDenied);
            return 0;
        }
        // The restart is the strict one, as Windows 9x's own: an entry whose
        // rebuilt file is missing costs its hive, and no test may see that.
        SetStrictRestart(true);
        platform::BOOL r = OfflinePlatform::ExitWindowsEx(flags, reserved);
        for (const platform::offline::RenameOutcome& o : lastRestart().outcomes) {
            if (o.result == platform::offline::RenameOutcome::Result::kDestinationLost) {
                ADD_FAILURE() << "the restart lost " << o.key << ": " << o.value << " is missing";
            }
        }
        return r;
    }
};

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("sabrel-app-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "run");
        ::setenv("SABREL_RUNTIME_DIR", (root / "run").c_str(), 1);
        for (const char* v : {"SABREL_VERSION", "SABREL_PLATFORM", "SABREL_USER", "SABREL_CODEPAGE",
                              "SABREL_UNLHA_PATH"})
            ::unsetenv(v);
    }
    void TearDown() override {
        ui_.reset();
        platform::Set(nullptr);
        p_.reset();
        fs::remove_all(root);
    }

    // Writes the machine and starts the platform and the backend on it.
    void Machine(tool::MachineOptions options = {}) {
        options.keys = options.keys == 400 ? 160 : options.keys;
        std::string error;
        ASSERT_TRUE(tool::MakeMachine(root.string(), options, &error)) << error;
        Start();
    }
    void Start(const std::string& windows = "WINDOWS") {
        ::setenv("SABREL_WINDIR", (root / windows).c_str(), 1);
        ui_.reset();
        p_ = std::make_unique<HookedPlatform>();
        platform::Set(p_.get());
        ui_ = std::make_unique<ui::ScriptUi>();
        ui_->SetAutoOk(true);
        ui_->SetFailureHandler([](const std::string& what) { ADD_FAILURE() << what; });
    }

    // Runs the program with `driver` as the user in its message loop, as the
    // Linux program does unless told otherwise.
    int Run(std::function<void(app::TForm1&)> driver, app::Host host = app::Host::Offline) {
        ui_->SetLoop([&](ui::ScriptUi&) {
            app::Form1->exitProcessHook = [this](unsigned code) {
                exitCode = static_cast<int>(code);
            };
            driver(*app::Form1);
        });
        return app::RunProgram(host);
    }

    // Presses OK and ticks until the running page is left.
    void StartAndWait(app::TForm1& f) {
        ASSERT_TRUE(ui_->Click(f, "btOk"));
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Page(f) == "01" && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ui_->Tick(f, "Timer1");
        }
    }
    // Waits until the worker's handler of last resort has ended the process.
    bool WaitForExit() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (exitCode.load() < 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return exitCode.load() >= 0;
    }
    // Ticks the reveal of page "03" to its end.
    int TickToEnd(app::TForm1& f) {
        int ticks = 0;
        while (ui_->Tick(f, "Timer1")) ++ticks;
        return ticks;
    }

    static std::string Page(const ui::Form& f) {
        const ui::Control* page = f.Get("nbStage").ActivePage();
        return page ? page->Name() : std::string();
    }
    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const ui::BoxRecord& b : ui_->Boxes()) texts.push_back(b.text);
        return texts;
    }
    fs::path Win(const std::string& rel) const { return root / "WINDOWS" / rel; }
    static std::string Read(const fs::path& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    }
    static hive::HiveChecker Check(const fs::path& path) {
        hive::HiveChecker checker(hive::ByteClasses::ForCodePage(932));
        std::string bytes = Read(path);
        checker.CheckImage(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        return checker;
    }

    fs::path root;
    std::unique_ptr<HookedPlatform> p_;
    std::unique_ptr<ui::ScriptUi> ui_;
    // Set by the worker's handler of last resort (from the worker thread).
    std::atomic<int> exitCode{-1};
};

}  // namespace sabrel::test
