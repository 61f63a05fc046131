// SPDX-License-Identifier: MIT
/* poke.exe: drives a running sabrel.exe from outside, under Wine, for the
 * smoke test of the Windows program. It talks to the program's windows only
 * through messages that Windows carries between processes (BM_CLICK,
 * WM_COMMAND, WM_GETTEXT, LB_GETTEXT, ...), the way a person's clicks and
 * reading would, so the program needs no test hooks.
 *
 *   poke wait CLASS [SECONDS]     wait for a visible top-level window of CLASS
 *   poke gone CLASS [SECONDS]     wait until no visible window of CLASS is left
 *   poke count CLASS              print how many top-level windows of CLASS exist
 *   poke click CLASS TEXT         click the visible button captioned TEXT
 *   poke dblclick CLASS TEXT      double-click the visible label captioned TEXT
 *   poke close CLASS              send the window the close command (WM_CLOSE)
 *   poke origin CLASS             print the screen position of the window's
 *                                 client area: X Y
 *   poke dump CLASS               print the window's title and every visible
 *                                 child: class, enabled state, text, and a
 *                                 list box's items with their marks
 *   poke focus CLASS              print the class and text of the control that
 *                                 has the keyboard focus in the window
 *   poke longpath PATH            print the long form of an existing PATH
 *                                 (Wine gives names it cannot keep as 8.3
 *                                 hashed short forms)
 *
 * Texts are in the system's ANSI code page; Wine converts the command line
 * from the Unix locale. Exit code 0 on success, 1 on failure, 2 on bad use. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static HWND FindVisible(const char* cls) {
    HWND w = NULL;
    while ((w = FindWindowExA(NULL, w, cls, NULL)) != NULL) {
        if (IsWindowVisible(w)) return w;
    }
    return NULL;
}

struct Search {
    const char* text;
    HWND found;
};

static BOOL CALLBACK MatchText(HWND child, LPARAM param) {
    struct Search* s = (struct Search*)param;
    char buf[512];
    if (!IsWindowVisible(child)) return TRUE;
    GetWindowTextA(child, buf, sizeof buf);
    if (strcmp(buf, s->text) == 0) {
        s->found = child;
        return FALSE;
    }
    return TRUE;
}

static HWND FindChild(const char* cls, const char* text) {
    struct Search s = {text, NULL};
    HWND top = FindVisible(cls);
    if (!top) {
        fprintf(stderr, "poke: no visible window of class %s\n", cls);
        return NULL;
    }
    EnumChildWindows(top, MatchText, (LPARAM)&s);
    if (!s.found) fprintf(stderr, "poke: no visible control \"%s\" in %s\n", text, cls);
    return s.found;
}

static BOOL CALLBACK DumpChild(HWND child, LPARAM param) {
    char cls[64], text[512];
    (void)param;
    if (!IsWindowVisible(child)) return TRUE;
    GetClassNameA(child, cls, sizeof cls);
    GetWindowTextA(child, text, sizeof text);
    printf("%s\t%s\t%s\n", cls, IsWindowEnabled(child) ? "enabled" : "disabled", text);
    if (_stricmp(cls, "ListBox") == 0) {
        LRESULT n = SendMessageA(child, LB_GETCOUNT, 0, 0), i;
        for (i = 0; i < n; ++i) {
            /* Wine carries LB_GETTEXT between processes as wide text only. */
            WCHAR wide[512] = {0};
            char item[1024] = "";
            if (SendMessageW(child, LB_GETTEXTLEN, i, 0) < (LRESULT)(sizeof wide / sizeof *wide)) {
                SendMessageW(child, LB_GETTEXT, i, (LPARAM)wide);
            }
            WideCharToMultiByte(CP_ACP, 0, wide, -1, item, sizeof item, NULL, NULL);
            printf("item\t%s\t%s\n", SendMessageA(child, LB_GETSEL, i, 0) > 0 ? "marked" : "-",
                   item);
        }
    }
    return TRUE;
}

int main(int argc, char** argv) {
    const char* cmd = argc > 1 ? argv[1] : "";
    const char* cls = argc > 2 ? argv[2] : "";
    if (argc < 3) {
        fprintf(stderr,
                "usage: poke wait|gone|count|click|dblclick|close|origin|dump CLASS [ARG]\n");
        return 2;
    }
    if (strcmp(cmd, "wait") == 0 || strcmp(cmd, "gone") == 0) {
        int tenths = (argc > 3 ? atoi(argv[3]) : 10) * 10;
        int wantVisible = strcmp(cmd, "wait") == 0;
        for (; tenths >= 0; --tenths) {
            if ((FindVisible(cls) != NULL) == wantVisible) return 0;
            Sleep(100);
        }
        fprintf(stderr, "poke: %s %s timed out\n", cmd, cls);
        return 1;
    }
    if (strcmp(cmd, "focus") == 0) {
        char name[64] = "", text[512] = "";
        GUITHREADINFO info;
        HWND top = FindVisible(cls);
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        if (!top || !GetGUIThreadInfo(GetWindowThreadProcessId(top, NULL), &info) ||
            !info.hwndFocus) {
            fprintf(stderr, "poke: no focus in %s\n", cls);
            return 1;
        }
        GetClassNameA(info.hwndFocus, name, sizeof name);
        GetWindowTextA(info.hwndFocus, text, sizeof text);
        printf("%s\t%s\t%s\n", name, IsWindowVisible(info.hwndFocus) ? "visible" : "hidden", text);
        return 0;
    }
    if (strcmp(cmd, "longpath") == 0) {
        char path[MAX_PATH];
        DWORD n = GetLongPathNameA(argv[2], path, sizeof path);
        if (n == 0 || n >= sizeof path) return 1;
        printf("%s\n", path);
        return 0;
    }
    if (strcmp(cmd, "count") == 0) {
        int n = 0;
        HWND w = NULL;
        while ((w = FindWindowExA(NULL, w, cls, NULL)) != NULL) ++n;
        printf("%d\n", n);
        return 0;
    }
    if (strcmp(cmd, "click") == 0 && argc > 3) {
        HWND b = FindChild(cls, argv[3]);
        if (!b) return 1;
        /* Posted, not sent: the click may open a modal loop of its own. */
        PostMessageA(b, BM_CLICK, 0, 0);
        return 0;
    }
    if (strcmp(cmd, "dblclick") == 0 && argc > 3) {
        HWND label = FindChild(cls, argv[3]);
        if (!label) return 1;
        PostMessageA(GetParent(label), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(label), STN_DBLCLK),
                     (LPARAM)label);
        return 0;
    }
    if (strcmp(cmd, "close") == 0) {
        HWND top = FindVisible(cls);
        if (!top) {
            fprintf(stderr, "poke: no visible window of class %s\n", cls);
            return 1;
        }
        PostMessageA(top, WM_CLOSE, 0, 0);
        return 0;
    }
    if (strcmp(cmd, "origin") == 0) {
        POINT at = {0, 0};
        HWND top = FindVisible(cls);
        if (!top || !ClientToScreen(top, &at)) {
            fprintf(stderr, "poke: no visible window of class %s\n", cls);
            return 1;
        }
        printf("%ld %ld\n", (long)at.x, (long)at.y);
        return 0;
    }
    if (strcmp(cmd, "dump") == 0) {
        char title[512];
        HWND top = FindVisible(cls);
        if (!top) {
            fprintf(stderr, "poke: no visible window of class %s\n", cls);
            return 1;
        }
        GetWindowTextA(top, title, sizeof title);
        printf("title\t%s\n", title);
        EnumChildWindows(top, DumpChild, 0);
        return 0;
    }
    fprintf(stderr, "poke: unknown command %s\n", cmd);
    return 2;
}
