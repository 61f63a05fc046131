// SPDX-License-Identifier: MIT
// How the Linux program finds the Windows 9x installation it works on: from
// its argument (a Windows folder, a drive root whose MSDOS.SYS names the
// Windows folder, or a disk image), and the list of installations used last.
// Nothing here needs a display; the chooser that asks the user is in
// chooser.h.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace sabrel::programs::linux_entry {

enum class Problem {
    None,
    Missing,           // nothing at that path
    ImageUnsupported,  // a regular file: a disk image, not read yet
    NotAnInstallation  // a folder without SYSTEM.DAT and WIN.COM
};

struct Resolution {
    Problem problem = Problem::None;
    std::string windowsDirectory;  // absolute host path, when problem is None
};

// A folder holding SYSTEM.DAT and WIN.COM (any case) is the Windows folder; a
// folder holding MSDOS.SYS is a drive root, and [Paths] WinDir= names the
// Windows folder under it (matched case-insensitively); a regular file is a
// disk image.
Resolution ResolveInstallation(const std::string& path);

// The installation to open when SABREL_WINDIR is unset: the argument's when
// there is one. With SABREL_WINDIR set it wins and the argument is ignored.
bool EnvironmentNamesInstallation();

// The file of installations used last: $XDG_CONFIG_HOME/sabrel/recent, else
// ~/.config/sabrel/recent.
std::string RecentFilePath();

inline constexpr std::size_t kRecentCount = 5;

// Most recent first, at most five, without duplicates; lines that are not
// absolute paths (a damaged file) are skipped.
std::vector<std::string> LoadRecent(const std::string& file);
// Puts windowsDirectory first and writes the list back (through a temporary
// file, so a crash leaves the old list). False when it cannot be written.
bool RememberRecent(const std::string& file, const std::string& windowsDirectory);

// What the user picked: a path, or nothing (Cancel).
using ChooseFunction =
    std::function<bool(const std::vector<std::string>& recent, std::string* path)>;
using AlertFunction = std::function<void(Problem problem, const std::string& path)>;

// Asks until the choice is an installation (each wrong one is reported
// through alert) and returns its Windows folder; empty when the user cancels.
std::string ChooseInstallation(const std::vector<std::string>& recent, const ChooseFunction& choose,
                               const AlertFunction& alert);

}  // namespace sabrel::programs::linux_entry
