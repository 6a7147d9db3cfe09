/*
 * The extraction engine: scans the installer file in slices, splits it at the
 * member marker, and passes each member through the backup policy and the
 * decoder into the destination folder; cleans up a run that failed.
 */
#ifndef YELK_PAYLOAD_EXTRACT_H
#define YELK_PAYLOAD_EXTRACT_H

#include <cstdint>

#include "common/session.h"
#include "payload/destdir.h"

enum {
    kSliceBytes = 15001,  /* bytes one PumpExtraction call consumes at most */
    kMemberPathSize = kPathSize + 16  /* destDir, a backslash, the longest file name */
};

/* Results of PumpExtraction */
enum PumpResult {
    kPumpFailed = 0,      /* message shown */
    kPumpFinished = 1,    /* scan ended */
    kPumpBackupFailed = 2,/* message shown; back to the options page */
    kPumpMore = 3,        /* slice used up */
    kPumpIdle = 4         /* no installer file open (a timer tick that came after
                             the run ended): nothing read, nothing changed; the
                             caller does nothing */
};

/* File names of the members, in payload order. */
extern const char *const kMemberNames[kMemberCount];

/* destDir + "\" + file name of member index into out (kMemberPathSize
   bytes); "" outside 0..9. */
void MemberPath(char *out, int index);
void ResetInstall();
/* What every run does first: ResetInstall, the status line, the empty
   overall bar, then the destination folder (CreateDestDir). StartInstallRun
   (install.h) goes on to check and open the installer file. */
DestDirResult PrepareInstallRun();
void ShowScanStatus();
/* Results of ExtractMember */
enum MemberResult {
    kMemberFailed = 0,        /* message shown, run cleaned up */
    kMemberDone = 1,          /* written or left in place; memberIndex advanced */
    kMemberBackupFailed = 2   /* message shown */
};

/* Each member's decoded size and CRC-32 as the packer recorded them. A size
   of 0 means none is known (no member is empty): the member is not checked.
   The installer fills it from the record compiled in beside the payload's CRC,
   the headless installer from the record in the file it installs. */
struct MemberCheck {
    uint32_t size;
    uint32_t crc;
};
extern MemberCheck memberChecks[kMemberCount];

/* The record's text: kMemberCount times sixteen lowercase hex digits, the
   size then the CRC. Lowercase digits hold no "A", so the text can neither
   form the member marker nor end in a first part of it. */
enum { kMemberCheckText = kMemberCount * 16 };
/* Fills memberChecks from such a text; 1 when it is well formed, else the
   checks are all cleared and 0. */
int ReadMemberChecks(const char *text);

/* What a file is against member index's check. */
enum FileCheck {
    kFileUnchecked,   /* no check known for the member */
    kFileMatches,     /* same size and CRC-32 */
    kFileDiffers      /* another size or CRC, or it cannot be read */
};
FileCheck CheckFileAgainstMember(int index, const char *path);

PumpResult PumpExtraction();
MemberResult ExtractMember(const char *tempFile);
int DecodeToFile(const char *source, const char *destination);
void CleanupInstall();

#endif
