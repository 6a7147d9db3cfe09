/*
 * The Program Manager group over DDE: twelve commands, each in its own
 * conversation with the "PROGMAN" service of whatever shell answers it.
 */
#include "shell/progman.h"

#include <cstdio>
#include <cstring>

#include "common/session.h"
#include "wizard/trace.h"

enum {
    kAnsiCodePage = CP_WINANSI,   /* 1004: string handles in the ANSI code page */
    kExecuteTimeout = 5000        /* ms one execute transaction may take */
};

/* One command of the group. Rows with an AddItem take destDir for both %s;
   the two text-file items name write.exe as their icon on an old shell. */
struct ProgmanRow {
    const char *text;        /* command, or its new-shell form */
    const char *oldShell;    /* old-shell form, or nullptr when there is one form */
    int required;            /* a failure stops the group */
};

static const ProgmanRow kRows[kProgmanCommandCount] = {
    {"[CreateGroup(\"Yelk\")]", nullptr, 1},
    {"[ShowGroup(\"Yelk\",1)]", nullptr, 0},
    {"[ReplaceItem(\"Yelk32\")]", nullptr, 0},
    {"[AddItem(\"%s\\Yelk32.exe\",\"Yelk32\",,0,,,\"%s\")]", nullptr, 1},
    {"[ReplaceItem(\"Yelk Help\")]", nullptr, 0},
    {"[AddItem(\"%s\\Yelk.hlp\",\"Yelk Help\",,0,,,\"%s\")]", nullptr, 1},
    {"[ReplaceItem(\"Primer Guide\")]", nullptr, 0},
    {"[AddItem(\"%s\\Primer.hlp\",\"Primer Guide\",,0,,,\"%s\")]", nullptr, 1},
    {"[ReplaceItem(\"About.txt\")]", nullptr, 0},
    {"[AddItem(\"%s\\about.txt\",\"About.txt\",,,,,\"%s\")]",
     "[AddItem(\"%s\\about.txt\",\"About.txt\",\"write.exe\",0,,,\"%s\")]", 1},
    {"[ReplaceItem(\"History.txt\")]", nullptr, 0},
    {"[AddItem(\"%s\\history.txt\",\"History.txt\",,,,,\"%s\")]",
     "[AddItem(\"%s\\history.txt\",\"History.txt\",\"write.exe\",0,,,\"%s\")]", 1},
};

int ProgmanCommand(const char *command)
{
    DWORD instance = session.ddeInstance;
    HSZ service = DdeCreateStringHandleA(instance, "PROGMAN", kAnsiCodePage);
    if (service == nullptr)
        return 0;
    HSZ topic = DdeCreateStringHandleA(instance, "PROGMAN", kAnsiCodePage);
    if (topic == nullptr) {
        DdeFreeStringHandle(instance, service);
        return 0;
    }

    int result = 0;
    TraceMark("dde-connect");
    HCONV conversation = DdeConnect(instance, service, topic, nullptr);
    TraceMark("dde-connected");
    if (conversation != nullptr) {
        /* The command travels with its terminating zero. */
        DWORD length = (DWORD)strlen(command) + 1;
        HDDEDATA answer = DdeClientTransaction((LPBYTE)command, length, conversation,
                                               nullptr, CF_TEXT, XTYP_EXECUTE,
                                               kExecuteTimeout, nullptr);
        result = answer != nullptr;
        TraceMark("dde-executed");
        DdeDisconnect(conversation);
        TraceMark("dde-disconnected");
    }
    DdeFreeStringHandle(instance, topic);
    DdeFreeStringHandle(instance, service);
    return result;
}

int FormatProgmanCommand(int row, char *out, int size)
{
    if (row < 0 || row >= kProgmanCommandCount || size <= 0)
        return 0;
    const ProgmanRow &r = kRows[row];
    const char *format = (r.oldShell != nullptr && !session.newShell) ? r.oldShell : r.text;
    /* destDir holds at most 299 characters, so two copies and the longest
       command fit the 900 characters callers give. */
    snprintf(out, (size_t)size, format, session.destDir, session.destDir);
    return r.required;
}

int CreateProgmanGroup()
{
    char command[kLongTextSize];
    for (int row = 0; row < kProgmanCommandCount; row++) {
        int required = FormatProgmanCommand(row, command, sizeof command);
        TraceMark("dde-begin", row);
        int done = ProgmanCommand(command);
        TraceMark("dde-end", row);
        if (!done && required)
            return 0;
    }
    return 1;
}

HDDEDATA CALLBACK DdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return nullptr;
}
