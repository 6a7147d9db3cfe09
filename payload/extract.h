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
#include "payload/members.h"

enum {
    kSliceBytes = 15001   /* bytes one PumpExtraction call consumes at most */
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

PumpResult PumpExtraction();
MemberResult ExtractMember(const char *tempFile);
int DecodeToFile(const char *source, const char *destination);
/* Undoes what the run did (changes.h) and closes its files; 1 when all of
   it was undone, 0 when a step could not be and the journal stays for the
   next run (the callers say so with [7]). */
int CleanupInstall();

#endif
