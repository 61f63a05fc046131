// SPDX-License-Identifier: MIT
// Where a Windows 95/98/Me SYSTEM.DAT (the HKEY_LOCAL_MACHINE hive, whose root
// is HKEY_LOCAL_MACHINE itself) keeps the facts the offline platform reports:
//   - the version number, a REG_SZ such as "4.10.2222" (major.minor.build);
//   - the user who logged on last: "username" under Network\Logon, which the
//     logon dialog fills in; Windows also keeps the user of the running
//     session as "Current User" under System\CurrentControlSet\Control, read
//     when the former is missing or empty;
//   - the ANSI code page, a REG_SZ such as "932";
//   - whether user profiles are on: "UserProfiles" under Network\Logon, a
//     number that is not 0 (Windows then loads the logged-on user's USER.DAT
//     from the folder Profiles as HKEY_CURRENT_USER, else its own USER.DAT).
// A USER.DAT (the HKEY_CURRENT_USER hive) keeps the user's number format:
//   - the thousands separator, a REG_SZ "sThousand" under
//     Control Panel\International, present once the user has set it.
// Paths are relative to the hive's root, ASCII, separated by backslashes.
#pragma once

namespace sabrel::hive {

constexpr char kInstallVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kInstallVersionValue[] = "VersionNumber";
constexpr char kInstallLogonKey[] = "Network\\Logon";
constexpr char kInstallLogonValue[] = "username";
constexpr char kInstallCurrentUserKey[] = "System\\CurrentControlSet\\Control";
constexpr char kInstallCurrentUserValue[] = "Current User";
constexpr char kInstallCodePageKey[] = "System\\CurrentControlSet\\Control\\Nls\\CodePage";
constexpr char kInstallCodePageValue[] = "ACP";
constexpr char kInstallProfilesValue[] = "UserProfiles";
constexpr char kUserInternationalKey[] = "Control Panel\\International";
constexpr char kUserThousandValue[] = "sThousand";

}  // namespace sabrel::hive
