// SPDX-License-Identifier: MIT
// Disk images for the tests of the image world: made by mkfs.fat (and sfdisk
// for partitioned ones), filled and read back by mtools, checked by fsck.fat.
// Names given to the helpers are UTF-8; mtools reads short names in code
// page 932, as the installations store them.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace sabrel::platform::testing {

inline const std::string& MtoolsConfig() {
    static const std::string path = [] {
        char tmpl[] = "/tmp/sabrel-mtoolsrc-XXXXXX";
        int fd = mkstemp(tmpl);
        const char text[] = "DEFAULT_CODEPAGE=932\n";
        if (write(fd, text, sizeof text - 1) != static_cast<ssize_t>(sizeof text - 1)) abort();
        close(fd);
        static std::string name = tmpl;
        std::atexit([] { unlink(name.c_str()); });
        return name;
    }();
    return path;
}

// Runs a shell command; returns its exit status, with stdout and stderr in *out.
inline int Shell(const std::string& cmd, std::string* out = nullptr) {
    std::string full = "export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 MTOOLSRC=" + MtoolsConfig() +
                       "; " + cmd + " 2>&1";
    FILE* p = popen(full.c_str(), "r");
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    int status = pclose(p);
    if (out) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A FAT volume in a fresh temporary folder, as a raw image without a
// partition table. The platform's environment variables are cleared.
class TempImage {
  public:
    explicit TempImage(int bits = 16, const char* kib = nullptr) {
        for (const char* v :
             {"SABREL_WINDIR", "SABREL_IMAGE", "SABREL_PARTITION", "SABREL_VERSION",
              "SABREL_PLATFORM", "SABREL_USER", "SABREL_CODEPAGE", "SABREL_RUNTIME_DIR"})
            unsetenv(v);
        char tmpl[] = "/tmp/sabrel-image-XXXXXX";
        dir_ = mkdtemp(tmpl);
        path_ = dir_ + "/disk.img";
        std::string size = kib ? kib : bits == 32 ? "40000" : "16384";
        ok_ = Shell("mkfs.fat -C -F " + std::to_string(bits) + " " + ShellQuote(path_) + " " +
                    size + " >/dev/null") == 0;
    }
    ~TempImage() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempImage(const TempImage&) = delete;
    TempImage& operator=(const TempImage&) = delete;

    bool ok() const { return ok_; }
    const std::string& path() const { return path_; }
    const std::string& dir() const { return dir_; }

    bool MakeFolder(const std::string& dosPath) {
        return Shell("mmd -i " + ShellQuote(path_) + " " + ShellQuote("::/" + dosPath)) == 0;
    }
    bool Put(const std::string& dosPath, const std::string& bytes) {
        std::string host = dir_ + "/put.bin";
        std::ofstream(host, std::ios::binary) << bytes;
        return Shell("mcopy -o -i " + ShellQuote(path_) + " " + ShellQuote(host) + " " +
                     ShellQuote("::/" + dosPath)) == 0;
    }
    // The file's bytes through mcopy; empty when mtools cannot read it.
    std::string Get(const std::string& dosPath) {
        std::string host = dir_ + "/get.bin";
        unlink(host.c_str());
        if (Shell("mcopy -n -i " + ShellQuote(path_) + " " + ShellQuote("::/" + dosPath) + " " +
                  ShellQuote(host)) != 0)
            return std::string();
        std::ifstream in(host, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void WriteFile(const std::string& host, const std::string& bytes) {
        std::ofstream(host, std::ios::binary) << bytes;
    }
    static std::string ReadFile(const std::string& host) {
        std::ifstream in(host, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    // fsck.fat's report in check-only mode; empty when it finds nothing to
    // say beyond its summary.
    std::string Fsck() {
        std::string out;
        int rc = Shell("fsck.fat -n " + ShellQuote(path_), &out);
        std::size_t second = out.find('\n', out.find('\n') + 1);
        if (rc == 0 && second == out.size() - 1) return std::string();
        return out.empty() ? std::string("fsck.fat failed") : out;
    }

  private:
    std::string dir_, path_;
    bool ok_ = false;
};

}  // namespace sabrel::platform::testing
