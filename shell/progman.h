/*
 * The "Yelk" program group, made as a DDE client of the shell's Program
 * Manager service (service and topic "PROGMAN"), one conversation per command.
 */
#ifndef YELK_SHELL_PROGMAN_H
#define YELK_SHELL_PROGMAN_H

#include <windows.h>
#include <ddeml.h>

enum {
    kProgmanCommandCount = 12    /* commands CreateProgmanGroup sends */
};

/* Sends one bracketed command in a conversation of its own; 1 when the
   execute transaction succeeded, else 0. */
int ProgmanCommand(const char *command);

/* Formats command row (0..11) of the group for session.destDir and
   session.newShell into out; returns 1 when a failure of that command must
   stop the group, 0 when it is ignored. */
int FormatProgmanCommand(int row, char *out, int size);

/* Creates the group and its five items; 1 when every CreateGroup and AddItem
   succeeded, 0 at the first that failed (nothing after it is sent). */
int CreateProgmanGroup();

/* The DDE callback of the installer's client instance: never acts. */
HDDEDATA CALLBACK DdeCallback(UINT type, UINT format, HCONV conversation,
                              HSZ string1, HSZ string2, HDDEDATA data,
                              ULONG_PTR data1, ULONG_PTR data2);

#endif
