// SPDX-License-Identifier: MIT
#include "platform/offline/registry/registry_engine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>

#include "creg/creg_reader.h"
#include "creg/install_keys.h"
#include "platform/offline/registry/hive_file.h"
#include "platform/offline/win32_errors.h"

namespace sabrel::platform::offline {

namespace {

// Handles are small numbers well away from the predefined roots.
constexpr HKEY kFirstHandle = 0x1000;

std::string Folded(const std::string& name) {
    std::string s = name;
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
    }
    return s;
}

// A direct subkey of HKEY_USERS: either a loaded hive, which holds its file
// open and locked until it is unloaded, or a plain key.
struct Subkey {
    std::uint64_t id = 0;
    std::string name;
    std::shared_ptr<const hive::CregTree> tree;
    bool loaded = false;
    bool writable = false;
    int fd = -1;
    // Lets go of a hive that came as bytes (the file store holds its file).
    std::function<void()> release;
};

// Results only: the calling thread's last error stays as it was (see the
// registry section of offline_platform.cpp).
LONG Fail(DWORD code) {
    return static_cast<LONG>(code);
}

bool ValidSubkeyName(const std::string& name) {
    return !name.empty() && name.find('\\') == std::string::npos && name.size() <= 255;
}

}  // namespace

struct RegistryEngine::State {
    std::mutex mutex;
    std::map<std::string, Subkey> keys;  // by upper-cased name
    struct Handle {
        std::uint64_t subkeyId;
        bool write;
    };
    std::map<HKEY, Handle> handles;
    HKEY nextHandle = kFirstHandle;
    std::uint64_t nextId = 1;

    Subkey* ById(std::uint64_t id) {
        for (auto& entry : keys) {
            if (entry.second.id == id) return &entry.second;
        }
        return nullptr;
    }

    // Enters a new direct subkey; null when one of that name (in any case)
    // is already there, which the caller reports after letting go of its
    // hive's file or bytes.
    Subkey* Add(const std::string& name, std::shared_ptr<const hive::CregTree> tree) {
        auto added = keys.emplace(Folded(name), Subkey());
        if (!added.second) return nullptr;
        Subkey& k = added.first->second;
        k.id = nextId++;
        k.name = name;
        k.tree = std::move(tree);
        return &k;
    }
};

RegistryEngine::RegistryEngine() : state_(std::make_unique<State>()) {}

RegistryEngine::~RegistryEngine() {
    for (auto& entry : state_->keys) {
        if (entry.second.fd >= 0) ::close(entry.second.fd);
        if (entry.second.release) entry.second.release();
    }
}

LONG RegistryEngine::OpenKey(HKEY root, const std::string& subKey, REGSAM access, HKEY* result) {
    if (!result) return Fail(kErrorInvalidParameter);
    if (root != kHkeyUsers) return Fail(kErrorInvalidHandle);
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto it = state_->keys.find(Folded(subKey));
    if (subKey.empty() || it == state_->keys.end()) return Fail(kErrorFileNotFound);
    // Full access to a hive needs its file to be writable; read access is
    // granted to every key.
    bool wantsWrite = (access & ~kKeyRead) != 0;
    if (wantsWrite && it->second.loaded && !it->second.writable) return Fail(kErrorAccessDenied);
    HKEY h = state_->nextHandle++;
    state_->handles[h] = {it->second.id, wantsWrite};
    *result = h;
    return 0;
}

LONG RegistryEngine::CloseKey(HKEY key) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (key == kHkeyUsers) return 0;
    if (state_->handles.erase(key) == 0) return Fail(kErrorInvalidHandle);
    return 0;
}

LONG RegistryEngine::LoadKey(HKEY root, const std::string& subKey, const std::string& hostFile) {
    if (root != kHkeyUsers) return Fail(kErrorInvalidHandle);
    if (!ValidSubkeyName(subKey)) return Fail(kErrorInvalidParameter);
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (state_->keys.count(Folded(subKey))) return Fail(kErrorAlreadyExists);
    }
    bool writable = true;
    int fd = ::open(hostFile.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable = false;
        fd = ::open(hostFile.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) return Fail(Win32FromErrno(errno));
    // The hive is the engine's until it is unloaded: a second load of the
    // same file, here or by another process that locks, is refused.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        DWORD code = errno == EWOULDBLOCK ? kErrorSharingViolation : Win32FromErrno(errno);
        ::close(fd);
        return Fail(code);
    }
    auto tree = std::make_shared<hive::CregTree>();
    DWORD code = LoadHiveFd(fd, tree.get());
    if (code) {
        ::close(fd);
        return Fail(code);
    }
    std::lock_guard<std::mutex> lock(state_->mutex);
    Subkey* k = state_->Add(subKey, std::move(tree));
    if (!k) {
        ::close(fd);
        return Fail(kErrorAlreadyExists);
    }
    k->loaded = true;
    k->writable = writable;
    k->fd = fd;
    return 0;
}

LONG RegistryEngine::LoadKeyFromBytes(HKEY root, const std::string& subKey,
                                      std::vector<std::uint8_t> bytes, bool writable,
                                      std::function<void()> release) {
    auto fail = [&](DWORD code) {
        if (release) release();
        return Fail(code);
    };
    if (root != kHkeyUsers) return fail(kErrorInvalidHandle);
    if (!ValidSubkeyName(subKey)) return fail(kErrorInvalidParameter);
    auto tree = std::make_shared<hive::CregTree>();
    DWORD code = hive::LoadHive(std::move(bytes), tree.get());
    if (code) return fail(code);
    std::lock_guard<std::mutex> lock(state_->mutex);
    Subkey* k = state_->Add(subKey, std::move(tree));
    if (!k) return fail(kErrorAlreadyExists);
    k->loaded = true;
    k->writable = writable;
    k->release = std::move(release);
    return 0;
}

LONG RegistryEngine::SaveKeyWith(HKEY key,
                                 const std::function<DWORD(const hive::CregTree& tree)>& write) {
    std::shared_ptr<const hive::CregTree> tree;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        auto h = state_->handles.find(key);
        if (h == state_->handles.end()) return Fail(kErrorInvalidHandle);
        Subkey* k = state_->ById(h->second.subkeyId);
        if (!k) return Fail(kErrorKeyDeleted);
        tree = k->tree;
    }
    // The tree is immutable once loaded; an unload during the write only
    // drops the engine's reference to it.
    DWORD code = write(*tree);
    return code ? Fail(code) : 0;
}

LONG RegistryEngine::SaveKey(HKEY key, const std::string& hostFile) {
    return SaveKeyWith(key,
                       [&](const hive::CregTree& tree) { return SaveHiveFile(tree, 0, hostFile); });
}

LONG RegistryEngine::UnLoadKey(HKEY root, const std::string& subKey) {
    if (root != kHkeyUsers) return Fail(kErrorInvalidHandle);
    std::lock_guard<std::mutex> lock(state_->mutex);
    auto it = state_->keys.find(Folded(subKey));
    if (subKey.empty() || it == state_->keys.end()) return Fail(kErrorFileNotFound);
    if (!it->second.loaded) return Fail(kErrorAccessDenied);
    if (it->second.fd >= 0) ::close(it->second.fd);  // also releases the lock
    if (it->second.release) it->second.release();
    // Handles still open on the key stay valid numbers but refer to a
    // deleted key, as on Windows.
    state_->keys.erase(it);
    return 0;
}

LONG RegistryEngine::CreatePlainKey(const std::string& subKey) {
    if (!ValidSubkeyName(subKey)) return Fail(kErrorInvalidParameter);
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (!state_->Add(subKey, std::make_shared<hive::CregTree>())) return Fail(kErrorAlreadyExists);
    return 0;
}

namespace {

std::string StringValue(const hive::CregTree& tree, std::uint32_t key, const char* name) {
    hive::CregValue v;
    if (!tree.FindValue(key, name, &v)) return {};
    std::string s(reinterpret_cast<const char*>(tree.Data(v)), v.dataLength);
    std::size_t nul = s.find('\0');
    if (nul != std::string::npos) s.resize(nul);
    return s;
}

// A number kept as REG_DWORD or REG_BINARY (little-endian) or as text.
bool NumberValue(const hive::CregTree& tree, std::uint32_t key, const char* name,
                 std::uint32_t* number) {
    hive::CregValue v;
    if (!tree.FindValue(key, name, &v)) return false;
    const std::uint8_t* d = tree.Data(v);
    if (v.type == 1) {
        std::string text = StringValue(tree, key, name);
        char* end = nullptr;
        unsigned long n = std::strtoul(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0') return false;
        *number = static_cast<std::uint32_t>(n);
        return true;
    }
    if (v.dataLength == 0) return false;
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < v.dataLength && i < 4; ++i) n |= std::uint32_t{d[i]} << (8 * i);
    *number = n;
    return true;
}

bool ParseVersion(const std::string& text, InstallationInfo* info) {
    unsigned long part[3] = {};
    const char* p = text.c_str();
    for (int i = 0; i < 3; ++i) {
        char* end = nullptr;
        if (*p < '0' || *p > '9') return false;
        part[i] = std::strtoul(p, &end, 10);
        p = end;
        if (i < 2) {
            if (*p != '.') return false;
            ++p;
        }
    }
    info->major = static_cast<DWORD>(part[0]);
    info->minor = static_cast<DWORD>(part[1]);
    info->build = static_cast<DWORD>(part[2]);
    return true;
}

bool InfoOf(const hive::CregTree& tree, InstallationInfo* info);
bool SeparatorOf(const hive::CregTree& tree, std::string* separator);

}  // namespace

bool ReadInstallationInfo(const std::string& systemDatHostPath, InstallationInfo* info) {
    hive::CregTree tree;
    if (LoadHiveFile(systemDatHostPath, &tree) != 0) return false;
    return InfoOf(tree, info);
}

bool ReadInstallationInfo(std::vector<std::uint8_t> systemDat, InstallationInfo* info) {
    hive::CregTree tree;
    if (hive::LoadHive(std::move(systemDat), &tree) != 0) return false;
    return InfoOf(tree, info);
}

namespace {

bool InfoOf(const hive::CregTree& tree, InstallationInfo* info) {
    *info = InstallationInfo();
    std::uint32_t k = tree.FindPath(0, hive::kInstallVersionKey);
    if (k != hive::kNoKey) {
        info->hasVersion = ParseVersion(StringValue(tree, k, hive::kInstallVersionValue), info);
    }
    k = tree.FindPath(0, hive::kInstallLogonKey);
    std::string user = k == hive::kNoKey ? "" : StringValue(tree, k, hive::kInstallLogonValue);
    if (user.empty()) {
        k = tree.FindPath(0, hive::kInstallCurrentUserKey);
        if (k != hive::kNoKey) user = StringValue(tree, k, hive::kInstallCurrentUserValue);
    }
    info->hasUser = !user.empty();
    info->user = user;
    k = tree.FindPath(0, hive::kInstallCodePageKey);
    if (k != hive::kNoKey) {
        std::string acp = StringValue(tree, k, hive::kInstallCodePageValue);
        char* end = nullptr;
        unsigned long cp = std::strtoul(acp.c_str(), &end, 10);
        if (!acp.empty() && *end == '\0' && cp > 0 && cp < 65536) {
            info->hasCodePage = true;
            info->codePage = static_cast<UINT>(cp);
        }
    }
    k = tree.FindPath(0, hive::kInstallLogonKey);
    std::uint32_t profiles = 0;
    info->userProfiles = k != hive::kNoKey &&
                         NumberValue(tree, k, hive::kInstallProfilesValue, &profiles) &&
                         profiles != 0;
    return true;
}

}  // namespace

bool ReadThousandSeparator(const std::string& userDatHostPath, std::string* separator) {
    hive::CregTree tree;
    if (LoadHiveFile(userDatHostPath, &tree) != 0) return false;
    return SeparatorOf(tree, separator);
}

bool ReadThousandSeparator(std::vector<std::uint8_t> userDat, std::string* separator) {
    hive::CregTree tree;
    if (hive::LoadHive(std::move(userDat), &tree) != 0) return false;
    return SeparatorOf(tree, separator);
}

namespace {

bool SeparatorOf(const hive::CregTree& tree, std::string* separator) {
    std::uint32_t k = tree.FindPath(0, hive::kUserInternationalKey);
    hive::CregValue found;
    if (k == hive::kNoKey || !tree.FindValue(k, hive::kUserThousandValue, &found)) return false;
    *separator = StringValue(tree, k, hive::kUserThousandValue);
    return true;
}

}  // namespace

}  // namespace sabrel::platform::offline
