// SPDX-License-Identifier: MIT
// Exercises the runtime objects that programs/windows/runtime rebuilds for the 486, linked
// the way sabrel.exe links them: exceptions through frames with destructors,
// rethrow and nested handlers (the unwinder, libsupc++), dynamic_cast across a
// virtual diamond, the red-black tree and hash table helpers, thread-local
// storage in two threads (emulated TLS), the C99 printf, and constructors of
// statics (the start-up code). Prints each failure and "N passed, N failed".
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace {

int passed = 0;
int failed = 0;

void check(bool ok, const char* what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL: %s\n", what);
    }
}

int destroyed = 0;
struct Guard {
    ~Guard() { ++destroyed; }
};

__attribute__((noinline)) void throw_deep(int depth) {
    Guard guard;
    if (depth == 0) throw std::runtime_error("ソ表能 deep");
    throw_deep(depth - 1);
}

void exceptions() {
    destroyed = 0;
    try {
        throw_deep(5);
        check(false, "no exception");
    } catch (const std::exception& e) {
        check(std::strcmp(e.what(), "ソ表能 deep") == 0, "what() of a caught runtime_error");
    }
    check(destroyed == 6, "every frame's destructor ran during unwinding");

    int stage = 0;
    try {
        try {
            throw std::logic_error("inner");
        } catch (const std::logic_error&) {
            stage = 1;
            throw;
        }
    } catch (const std::exception& e) {
        stage = std::strcmp(e.what(), "inner") == 0 ? 2 : 3;
    }
    check(stage == 2, "a rethrown exception reaches the outer handler");

    try {
        throw 42;
    } catch (const std::exception&) {
        check(false, "an int caught as std::exception");
    } catch (int value) {
        check(value == 42, "an int caught by value");
    }
}

struct Base {
    virtual ~Base() = default;
};
struct Left : virtual Base {};
struct Right : virtual Base {};
struct Both : Left, Right {
    int mark = 7;
};

void casts() {
    Both both;
    Base* base = static_cast<Left*>(&both);
    Both* back = dynamic_cast<Both*>(base);
    check(back == &both && back->mark == 7, "dynamic_cast down a virtual diamond");
    Right* cross = dynamic_cast<Right*>(static_cast<Left*>(&both));
    check(cross == static_cast<Right*>(&both), "dynamic_cast across a virtual diamond");
    Left left;
    check(dynamic_cast<Both*>(static_cast<Base*>(&left)) == nullptr, "a failing dynamic_cast");
}

void containers() {
    std::map<int, int> tree;
    for (int i = 0; i < 2000; ++i) tree[(i * 7919) % 2003] = i;
    for (int i = 0; i < 2003; i += 3) tree.erase(i);
    int previous = -1;
    bool ordered = true;
    for (const auto& kv : tree) {
        ordered = ordered && kv.first > previous && kv.first % 3 != 0;
        previous = kv.first;
    }
    check(ordered, "a map stays ordered through inserts and erases");

    std::unordered_map<std::string, int> table;
    for (int i = 0; i < 5000; ++i) table["key" + std::to_string(i)] = i;
    bool found = table.size() == 5000;
    for (int i = 0; i < 5000; i += 97) found = found && table.at("key" + std::to_string(i)) == i;
    check(found, "an unordered_map keeps every entry through rehashes");

    std::string s = "C:\\WINDOWS\\Profiles\\ソフト\\USER.DAT";
    s.replace(s.find("ソフト"), std::strlen("ソフト"), "表示");
    check(s == "C:\\WINDOWS\\Profiles\\表示\\USER.DAT" && s.rfind('\\') == s.size() - 9,
          "string replace and rfind");
}

thread_local int per_thread = 1;

DWORD WINAPI bump(LPVOID out) {
    per_thread += 10;
    *static_cast<int*>(out) = per_thread;
    return 0;
}

void threads() {
    per_thread = 5;
    int seen = 0;
    HANDLE thread = CreateThread(nullptr, 0, bump, &seen, 0, nullptr);
    check(thread != nullptr, "CreateThread");
    if (!thread) return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    check(seen == 11 && per_thread == 5, "each thread has its own thread_local");
}

void formatting() {
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "%.*f|%d|%s", 2, 3.14159, -12, "能");
    const char* expected = "3.14|-12|能";
    check(n == static_cast<int>(std::strlen(expected)) && std::strcmp(buffer, expected) == 0,
          "snprintf of a double, int, string");
    check(std::snprintf(nullptr, 0, "%05d", 42) == 5, "snprintf measuring only");
    n = std::snprintf(buffer, 4, "%s", "truncated");
    check(n == 9 && std::strcmp(buffer, "tru") == 0, "snprintf truncates with C99 semantics");
}

struct Static {
    Static() { value = 99; }
    int value = 0;
};
Static constructed;

}  // namespace

int main() {
    check(constructed.value == 99, "constructors of statics ran");
    exceptions();
    casts();
    containers();
    threads();
    formatting();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
