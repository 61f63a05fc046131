// SPDX-License-Identifier: MIT
// File access for the Windows DLL: the Win32 ANSI file functions, which take
// the paths exactly as the program passes them.
#include <windows.h>

#include "archiver/library_files.h"

namespace sabrel::archiver {

namespace {

class Win32Files : public FileAccess {
  public:
    bool ReadFile(const std::string& path, std::vector<std::uint8_t>* out) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        DWORD high = 0;
        DWORD low = GetFileSize(h, &high);
        bool ok = !(low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) && high == 0;
        if (ok) {
            out->resize(low);
            DWORD got = 0;
            ok = low == 0 || (::ReadFile(h, out->data(), low, &got, nullptr) && got == low);
        }
        CloseHandle(h);
        return ok;
    }

    bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        bool ok = true;
        while (ok && size > 0) {
            DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
            DWORD put = 0;
            ok = ::WriteFile(h, data, chunk, &put, nullptr) && put == chunk;
            data += chunk;
            size -= chunk;
        }
        ok = CloseHandle(h) && ok;
        if (!ok) DeleteFileA(path.c_str());
        return ok;
    }

    std::uint32_t GetAttributes(const std::string& path) override {
        DWORD a = GetFileAttributesA(path.c_str());
        return a == INVALID_FILE_ATTRIBUTES ? kNoFile : a;
    }
    bool SetAttributes(const std::string& path, std::uint32_t attributes) override {
        return SetFileAttributesA(path.c_str(), attributes) != 0;
    }
    bool Delete(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }
    bool Move(const std::string& from, const std::string& to) override {
        return MoveFileA(from.c_str(), to.c_str()) != 0;
    }

    bool GetDosTime(const std::string& path, std::uint16_t* time, std::uint16_t* date) override {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        FILETIME utc, local;
        WORD d = 0, t = 0;
        bool ok = GetFileTime(h, nullptr, nullptr, &utc) && FileTimeToLocalFileTime(&utc, &local) &&
                  FileTimeToDosDateTime(&local, &d, &t);
        CloseHandle(h);
        *time = t;
        *date = d;
        return ok;
    }

    char SeparatorFor(const std::string&) const override { return '\\'; }
};

}  // namespace

std::unique_ptr<FileAccess> MakeLibraryFiles() {
    return std::make_unique<Win32Files>();
}

}  // namespace sabrel::archiver
