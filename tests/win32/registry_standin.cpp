// SPDX-License-Identifier: MIT
// A test-only advapi32.dll for the end-to-end runs under Wine, whose registry
// loads only its own text format and refuses Windows 9x hives. It answers
// RegLoadKeyA, RegOpenKeyExA, RegCloseKey, RegSaveKeyA and RegUnLoadKeyA for
// direct subkeys of HKEY_USERS with the project's own hive reader and compact
// writer, following the rules of the Windows 9x registry that the offline
// platform follows too; every other key, and every other export, goes to
// Wine's own advapi32, which lies beside this DLL as advapi3w.dll.
//
// SABREL_REGFAIL injects failures, as a comma-separated list of
//   save[@n]    the n-th RegSaveKeyA (default the first) fails with 1016
//               after leaving half of the file behind, as a full disk does;
//   unload[@n]  the n-th RegUnLoadKeyA fails with 5, the hive stays loaded;
//   load[@n]    the n-th RegLoadKeyA fails with 1015;
//   exists      HKEY_USERS already holds a plain key MIRONET_SABREL, which
//               cannot be unloaded.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "creg/creg_reader.h"
#include "creg/creg_writer.h"

namespace {

// Handles of this DLL lie far from Wine's small handle numbers and from the
// predefined roots.
constexpr ULONG_PTR kFirstHandle = 0x5AB00000;
constexpr DWORD kInjectedSaveError = ERROR_REGISTRY_IO_FAILED;
constexpr DWORD kInjectedLoadError = ERROR_REGISTRY_CORRUPT;
constexpr char kTempKey[] = "MIRONET_SABREL";

struct Subkey {
    std::string name;
    std::shared_ptr<const sabrel::hive::CregTree> tree;
    bool loaded = false;
    bool writable = false;
    HANDLE file = INVALID_HANDLE_VALUE;
};

struct Handle {
    unsigned id;
};

struct State {
    CRITICAL_SECTION lock;
    bool ready = false;
    std::map<std::string, std::pair<unsigned, Subkey>> keys;  // by upper-cased name
    std::map<ULONG_PTR, unsigned> handles;
    ULONG_PTR nextHandle = kFirstHandle;
    unsigned nextId = 1;
    std::map<std::string, int> failAt;  // operation -> call number that fails
    std::map<std::string, int> calls;
};

State g_storage;
State* g_state;

class Locked {
  public:
    Locked() {
        EnterCriticalSection(&g_state->lock);
        Init();
    }
    ~Locked() { LeaveCriticalSection(&g_state->lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    static void Init();
};

std::string Folded(const char* name) {
    std::string s = name ? name : "";
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
    }
    return s;
}

void Locked::Init() {
    State& s = *g_state;
    if (s.ready) return;
    s.ready = true;
    char faults[256] = "";
    DWORD n = GetEnvironmentVariableA("SABREL_REGFAIL", faults, sizeof faults);
    if (n == 0 || n >= sizeof faults) return;
    for (char* item = std::strtok(faults, ","); item; item = std::strtok(nullptr, ",")) {
        char* at = std::strchr(item, '@');
        int which = 1;
        if (at) {
            *at = '\0';
            which = std::atoi(at + 1);
        }
        if (!std::strcmp(item, "exists")) {
            auto& entry = s.keys[Folded(kTempKey)];
            entry.first = s.nextId++;
            entry.second.name = kTempKey;
            entry.second.tree = std::make_shared<sabrel::hive::CregTree>();
        } else {
            s.failAt[item] = which;
        }
    }
}

// Counts a call of `op`; true when this is the call that is to fail.
bool Injected(const char* op) {
    auto it = g_state->failAt.find(op);
    int call = ++g_state->calls[op];
    return it != g_state->failAt.end() && it->second == call;
}

LONG Result(DWORD code) {
    SetLastError(code);
    return static_cast<LONG>(code);
}

bool Ours(HKEY key) {
    auto v = reinterpret_cast<ULONG_PTR>(key);
    return v >= kFirstHandle && v < kFirstHandle + 0x100000;
}

bool ValidName(const char* name) {
    return name && *name && !std::strchr(name, '\\') && std::strlen(name) <= 255;
}

template <typename Fn>
Fn Real(const char* name) {
    static HMODULE real = LoadLibraryA("advapi3w.dll");
    return real ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(real, name)))
                : nullptr;
}

using OpenFn = LONG(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
using CloseFn = LONG(WINAPI*)(HKEY);

class FileSink : public sabrel::hive::ByteSink {
  public:
    explicit FileSink(HANDLE file) : file_(file) {}
    std::uint32_t Write(const std::uint8_t* data, std::size_t length) override {
        DWORD written = 0;
        if (!WriteFile(file_, data, static_cast<DWORD>(length), &written, nullptr))
            return GetLastError();
        return written == length ? 0 : ERROR_HANDLE_DISK_FULL;
    }

  private:
    HANDLE file_;
};

// Reads the whole of an open file.
DWORD ReadAll(HANDLE file, std::vector<std::uint8_t>* bytes) {
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return GetLastError();
    if (high || size > 0x7FFFFFFF) return ERROR_NOT_ENOUGH_MEMORY;
    bytes->resize(size);
    DWORD have = 0;
    while (have < size) {
        DWORD got = 0;
        if (!ReadFile(file, bytes->data() + have, size - have, &got, nullptr))
            return GetLastError();
        if (got == 0) break;
        have += got;
    }
    bytes->resize(have);
    return 0;
}

// Writes the tree as a new file that must not exist: the bytes go to a
// temporary name in the same folder, which then takes the final name.
DWORD SaveTree(const sabrel::hive::CregTree& tree, const char* path, bool truncate) {
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return ERROR_ALREADY_EXISTS;
    std::string temp = path;
    temp += ".$$$";
    HANDLE f = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD code = 0;
    if (truncate) {
        // A disk that fills up halfway: the written part stays under the
        // final name, as the Windows 9x registry leaves it.
        std::vector<std::uint8_t> bytes = sabrel::hive::CompactBytes(tree);
        FileSink sink(f);
        sink.Write(bytes.data(), bytes.size() / 2);
        code = kInjectedSaveError;
    } else {
        FileSink sink(f);
        code = sabrel::hive::WriteCompact(tree, 0, sink);
    }
    if (!code && !FlushFileBuffers(f)) code = GetLastError();
    CloseHandle(f);
    if (code && !truncate) {
        DeleteFileA(temp.c_str());
        return code;
    }
    if (!MoveFileA(temp.c_str(), path)) {
        DWORD moved = GetLastError();
        DeleteFileA(temp.c_str());
        return code ? code : moved;
    }
    return code;
}

}  // namespace

extern "C" {

LONG WINAPI stub_RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access,
                               PHKEY result) {
    if (root == HKEY_USERS && ValidName(subKey) && result) {
        Locked lock;
        State& s = *g_state;
        auto it = s.keys.find(Folded(subKey));
        if (it != s.keys.end()) {
            // Full access to a hive needs its file to be writable; read
            // access is granted to every key.
            bool wantsWrite = (access & ~KEY_READ) != 0;
            const Subkey& k = it->second.second;
            if (wantsWrite && k.loaded && !k.writable) return Result(ERROR_ACCESS_DENIED);
            ULONG_PTR h = s.nextHandle;
            s.nextHandle += 4;
            s.handles[h] = it->second.first;
            *result = reinterpret_cast<HKEY>(h);
            return Result(0);
        }
        // Wine's registry may hold an empty key of this name, left by a
        // load it refused; the stand-in's own view of it is what counts.
        if (Folded(subKey) == kTempKey) return Result(ERROR_FILE_NOT_FOUND);
    }
    OpenFn real = Real<OpenFn>("RegOpenKeyExA");
    return real ? real(root, subKey, options, access, result) : Result(ERROR_FILE_NOT_FOUND);
}

LONG WINAPI stub_RegCloseKey(HKEY key) {
    if (Ours(key)) {
        Locked lock;
        return Result(
            g_state->handles.erase(reinterpret_cast<ULONG_PTR>(key)) ? 0 : ERROR_INVALID_HANDLE);
    }
    CloseFn real = Real<CloseFn>("RegCloseKey");
    return real ? real(key) : Result(ERROR_INVALID_HANDLE);
}

LONG WINAPI stub_RegLoadKeyA(HKEY root, LPCSTR subKey, LPCSTR file) {
    if (root != HKEY_USERS) return Result(ERROR_INVALID_HANDLE);
    if (!ValidName(subKey) || !file) return Result(ERROR_INVALID_PARAMETER);
    Locked lock;
    State& s = *g_state;
    if (s.keys.count(Folded(subKey))) return Result(ERROR_ALREADY_EXISTS);
    if (Injected("load")) return Result(kInjectedLoadError);
    // The hive is held exclusively until it is unloaded. A file that may
    // not be written (read-only, or refused for writing) is loaded for
    // reading only; its key then opens for reading alone.
    DWORD attrs = GetFileAttributesA(file);
    if (attrs == INVALID_FILE_ATTRIBUTES) return Result(GetLastError());
    if (attrs & FILE_ATTRIBUTE_DIRECTORY) return Result(ERROR_ACCESS_DENIED);
    bool writable = !(attrs & FILE_ATTRIBUTE_READONLY);
    HANDLE f = INVALID_HANDLE_VALUE;
    if (writable) {
        f = CreateFileA(file, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE && GetLastError() != ERROR_ACCESS_DENIED &&
            GetLastError() != ERROR_WRITE_PROTECT)
            return Result(GetLastError());
    }
    if (f == INVALID_HANDLE_VALUE) {
        writable = false;
        f = CreateFileA(file, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
        if (f == INVALID_HANDLE_VALUE) return Result(GetLastError());
    }
    std::vector<std::uint8_t> bytes;
    DWORD code = ReadAll(f, &bytes);
    auto tree = std::make_shared<sabrel::hive::CregTree>();
    if (!code) code = sabrel::hive::LoadHive(std::move(bytes), tree.get());
    if (code) {
        CloseHandle(f);
        return Result(code);
    }
    Subkey k;
    k.name = subKey;
    k.tree = std::move(tree);
    k.loaded = true;
    k.writable = writable;
    k.file = f;
    s.keys[Folded(subKey)] = {s.nextId++, std::move(k)};
    return Result(0);
}

LONG WINAPI stub_RegSaveKeyA(HKEY key, LPCSTR file, LPSECURITY_ATTRIBUTES) {
    if (!file) return Result(ERROR_INVALID_PARAMETER);
    std::shared_ptr<const sabrel::hive::CregTree> tree;
    bool fail = false;
    {
        Locked lock;
        State& s = *g_state;
        auto h = s.handles.find(reinterpret_cast<ULONG_PTR>(key));
        if (h == s.handles.end()) return Result(ERROR_INVALID_HANDLE);
        for (const auto& entry : s.keys) {
            if (entry.second.first == h->second) tree = entry.second.second.tree;
        }
        if (!tree) return Result(ERROR_KEY_DELETED);
        fail = Injected("save");
    }
    return Result(SaveTree(*tree, file, fail));
}

LONG WINAPI stub_RegUnLoadKeyA(HKEY root, LPCSTR subKey) {
    if (root != HKEY_USERS) return Result(ERROR_INVALID_HANDLE);
    if (!subKey) return Result(ERROR_INVALID_PARAMETER);
    Locked lock;
    State& s = *g_state;
    auto it = s.keys.find(Folded(subKey));
    if (!*subKey || it == s.keys.end()) return Result(ERROR_FILE_NOT_FOUND);
    if (!it->second.second.loaded || Injected("unload")) return Result(ERROR_ACCESS_DENIED);
    CloseHandle(it->second.second.file);
    // Handles still open on the key now refer to a deleted key.
    s.keys.erase(it);
    return Result(0);
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_state = &g_storage;
        InitializeCriticalSection(&g_state->lock);
    }
    return TRUE;
}

}  // extern "C"
