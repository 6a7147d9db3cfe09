/*
 * The Program Manager group over DDE: twelve commands, each in its own
 * conversation with the "PROGMAN" service of whatever shell answers it.
 */
#include "shell/progman.h"

#include <cstdio>
#include <cstring>

#include "common/format.h"
#include "common/session.h"
#include "wizard/trace.h"

enum {
    kAnsiCodePage = CP_WINANSI,   /* 1004: string handles in the ANSI code page */
    kExecuteTimeout = 5000        /* ms one execute transaction may take */
};

/* The group's commands in the order sent, then the old-shell forms of rows 9
   and 11 (the two text-file items name write.exe as their icon there), each
   ended by its zero. Rows with an AddItem take destDir for both %s. */
static const char kCommands[] =
    "[CreateGroup(\"Yelk\")]\0"
    "[ShowGroup(\"Yelk\",1)]\0"
    "[ReplaceItem(\"Yelk32\")]\0"
    "[AddItem(\"%s\\Yelk32.exe\",\"Yelk32\",,0,,,\"%s\")]\0"
    "[ReplaceItem(\"Yelk Help\")]\0"
    "[AddItem(\"%s\\Yelk.hlp\",\"Yelk Help\",,0,,,\"%s\")]\0"
    "[ReplaceItem(\"Primer Guide\")]\0"
    "[AddItem(\"%s\\Primer.hlp\",\"Primer Guide\",,0,,,\"%s\")]\0"
    "[ReplaceItem(\"About.txt\")]\0"
    "[AddItem(\"%s\\about.txt\",\"About.txt\",,,,,\"%s\")]\0"
    "[ReplaceItem(\"History.txt\")]\0"
    "[AddItem(\"%s\\history.txt\",\"History.txt\",,,,,\"%s\")]\0"
    "[AddItem(\"%s\\about.txt\",\"About.txt\",\"write.exe\",0,,,\"%s\")]\0"
    "[AddItem(\"%s\\history.txt\",\"History.txt\",\"write.exe\",0,,,\"%s\")]";

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
    int text = row;
    if (!session.newShell && (row == 9 || row == 11))
        text = kProgmanCommandCount + (row - 9) / 2;
    /* destDir holds at most 299 characters, so two copies and the longest
       command fit the 900 characters callers give. */
    snprintf(out, (size_t)size, NthText(kCommands, text), session.destDir, session.destDir);
    /* CreateGroup and every AddItem: a failure stops the group. */
    return row == 0 || (row > 1 && row % 2 == 1);
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
