// SPDX-License-Identifier: MIT
/* Imports one function of each kind the import check tells apart:
 * QueryPerformanceCounter (Windows 95), GetLongPathNameA (Windows 98),
 * GetTickCount64 (Vista) and CreateFileW (a failing stub on 9x). */
#include <windows.h>

int main(void) {
    LARGE_INTEGER counter;
    char path[MAX_PATH];
    QueryPerformanceCounter(&counter);
    GetLongPathNameA("C:\\", path, sizeof path);
    CreateFileW(L"x", 0, 0, NULL, OPEN_EXISTING, 0, NULL);
    return (int)GetTickCount64() + (int)counter.LowPart;
}
