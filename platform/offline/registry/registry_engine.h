// SPDX-License-Identifier: MIT
// The offline registry: HKEY_USERS in memory. Loading a hive parses the file
// into a key tree and holds the file until it is unloaded; saving writes a
// fresh, compact hive file that appears whole or not at all.
// Paths here are host paths; the offline platform maps DOS paths to them.
// Every result is a Win32 error code (0 success); the thread's last error is
// left unchanged. Thread-safe.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "creg/creg_tree.h"

#include "platform/platform.h"

namespace sabrel::platform::offline {

class RegistryEngine {
  public:
    RegistryEngine();
    ~RegistryEngine();
    RegistryEngine(const RegistryEngine&) = delete;
    RegistryEngine& operator=(const RegistryEngine&) = delete;

    // Opens a direct subkey of HKEY_USERS (names compare without regard to
    // ASCII case). 2 when it does not exist; 5 when more than KEY_READ is asked
    // of a hive whose file could only be opened for reading.
    LONG OpenKey(HKEY root, const std::string& subKey, REGSAM access, HKEY* result);
    LONG CloseKey(HKEY key);
    // Parses `hostFile` completely into a tree under a new subkey; the name
    // must be free (183 otherwise). The file stays open and locked (flock)
    // until the unload; a file locked elsewhere gives 32. A malformed file
    // fails with 1009 or 1015 (see creg/creg_reader.h), never crashes.
    LONG LoadKey(HKEY root, const std::string& subKey, const std::string& hostFile);
    // Writes the key's whole tree as a compact hive; fails with 183 when the
    // file exists. Nothing is left behind on failure.
    LONG SaveKey(HKEY key, const std::string& hostFile);
    // The same for a hive whose file someone else reads and holds: `bytes`
    // are its contents and `release` (called once, on failure too) lets go
    // of the file when the key is unloaded.
    LONG LoadKeyFromBytes(HKEY root, const std::string& subKey, std::vector<std::uint8_t> bytes,
                          bool writable, std::function<void()> release);
    // Hands the key's whole tree to `write`, which returns a Win32 code.
    LONG SaveKeyWith(HKEY key, const std::function<DWORD(const hive::CregTree& tree)>& write);
    // Releases a loaded hive; 2 for a missing key, 5 for a key that is not a
    // loaded hive. Handles still open on it then give 1018.
    LONG UnLoadKey(HKEY root, const std::string& subKey);
    // Tests: a key under HKEY_USERS that is not a loaded hive.
    LONG CreatePlainKey(const std::string& subKey);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// What the installation's own SYSTEM.DAT says about the system.
struct InstallationInfo {
    bool hasVersion = false;
    DWORD major = 0, minor = 0, build = 0;
    bool hasUser = false;
    std::string user;  // ANSI bytes
    bool hasCodePage = false;
    UINT codePage = 0;
    bool userProfiles = false;
};

// Reads the version number, the last logged-on user and the ANSI code page
// from a SYSTEM.DAT, at the places creg/install_keys.h names. `build` is the
// plain build number (2222 for "4.10.2222"), `user` the name's ANSI bytes. False when the file
// cannot be read or parsed; fields that are not found keep has* == false.
bool ReadInstallationInfo(const std::string& systemDatHostPath, InstallationInfo* info);

// Reads the user's thousands separator from a USER.DAT (the place that
// creg/install_keys.h names), as ANSI bytes. False when the file cannot be
// read or parsed, or holds no such value.
bool ReadThousandSeparator(const std::string& userDatHostPath, std::string* separator);

// The same two for a hive's bytes.
bool ReadInstallationInfo(std::vector<std::uint8_t> systemDat, InstallationInfo* info);
bool ReadThousandSeparator(std::vector<std::uint8_t> userDat, std::string* separator);

}  // namespace sabrel::platform::offline
