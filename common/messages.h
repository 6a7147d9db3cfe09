/*
 * The installer's numbered messages, one table for every program (the
 * installer's boxes, the headless installer's one-line reports). The numbers
 * are what users see in the caption "Yelk Installation Error [n]"; in code
 * each has a name.
 */
#ifndef YELK_COMMON_MESSAGES_H
#define YELK_COMMON_MESSAGES_H

#include <cstddef>

#include "common/platform.h"

enum ErrorId {
    kErrorCreateFolder = 1,     /* the destination folder cannot be made or used */
    kErrorCheckInstaller = 2,   /* the installer file cannot be read for its check */
    kErrorReadMember = 3,       /* the temporary member file cannot be read */
    kErrorWriteMember = 4,      /* a member cannot be written to its destination */
    kErrorDecodeMember = 5,     /* a member cannot be decoded or its file written */
    kErrorBackupFolder = 6,     /* the backup folder cannot be made */
    kErrorBackupMove = 7,       /* an existing file cannot be moved into it, or an
                                   unfinished run cannot be undone */
    kErrorKeptChanges = 8,      /* undoing an unfinished run kept files changed since */
    kErrorReadInstaller = 9,    /* the installer file cannot be opened or read to its end */
    kErrorCorrupt = 10,         /* the payload's CRC is not the one built in */
    kErrorTempFile = 11,        /* the temporary member file cannot be written */
    kErrorNoMember = 14,        /* the scan found no member */
    kErrorProgmanGroup = 15,    /* the Program Manager group failed (a Yes/No question) */
    kErrorCount = 16            /* numbers 1..15; 0, 12 and 13 are unused and empty */
};

enum {
    kErrorCaptionSize = 40      /* "Yelk Installation Error [15]" and its terminator, with room */
};

/* Text of message [number]; "" for an unused or unknown number. */
const char *ErrorText(int number);

/* The caption of message [number]: "Yelk Installation Error [number]". */
void FormatErrorCaption(char *out, size_t size, int number);

/* Shows message id in the program's error box (the platform's ShowErrorBox). */
inline void ShowError(ErrorId id)
{
    ShowErrorBox(id, ErrorText(id));
}

#endif
