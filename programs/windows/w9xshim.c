// SPDX-License-Identifier: MIT
/* Keeps the program's import table to functions that Windows 95/98/Me export
 * for real. The static C++ runtime refers to three wide-character functions:
 * CreateSemaphoreW (the thread support of libgcc, always unnamed),
 * GetModuleHandleW and LoadLibraryW (the C runtime's locale and random-number
 * helpers, with plain ASCII module names). On the 9x family these exist only
 * as stubs that fail. Defining their import pointers here makes the linker
 * take these ANSI wrappers instead of importing the stubs. */
#include <windows.h>

/* An ASCII wide name as bytes; FALSE when it does not fit or is not ASCII. */
static BOOL NarrowAscii(LPCWSTR wide, char* out, size_t size) {
    size_t i = 0;
    for (; wide[i] != 0; ++i) {
        if (i + 1 >= size || wide[i] > 0x7F) return FALSE;
        out[i] = (char)wide[i];
    }
    out[i] = 0;
    return TRUE;
}

static HANDLE WINAPI ShimCreateSemaphoreW(LPSECURITY_ATTRIBUTES attributes, LONG initial,
                                          LONG maximum, LPCWSTR name) {
    char narrow[MAX_PATH];
    if (name && !NarrowAscii(name, narrow, sizeof narrow)) {
        SetLastError(ERROR_INVALID_NAME);
        return NULL;
    }
    return CreateSemaphoreA(attributes, initial, maximum, name ? narrow : NULL);
}

static HMODULE WINAPI ShimGetModuleHandleW(LPCWSTR name) {
    char narrow[MAX_PATH];
    if (!name) return GetModuleHandleA(NULL);
    if (!NarrowAscii(name, narrow, sizeof narrow)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return GetModuleHandleA(narrow);
}

static HMODULE WINAPI ShimLoadLibraryW(LPCWSTR name) {
    char narrow[MAX_PATH];
    if (!name || !NarrowAscii(name, narrow, sizeof narrow)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return LoadLibraryA(narrow);
}

/* The names the compiler gives the import pointers of __stdcall functions. */
HANDLE(WINAPI* ImpCreateSemaphoreW)
(LPSECURITY_ATTRIBUTES, LONG, LONG,
 LPCWSTR) __asm__("__imp__CreateSemaphoreW@16") = ShimCreateSemaphoreW;
HMODULE(WINAPI* ImpGetModuleHandleW)
(LPCWSTR) __asm__("__imp__GetModuleHandleW@4") = ShimGetModuleHandleW;
HMODULE(WINAPI* ImpLoadLibraryW)(LPCWSTR) __asm__("__imp__LoadLibraryW@4") = ShimLoadLibraryW;
