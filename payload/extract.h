/*
 * The extraction engine: scans the installer file in slices, splits it at the
 * member marker, and passes each member through the backup policy and the
 * decoder into the destination folder; cleans up a run that failed.
 */
#ifndef YELK_PAYLOAD_EXTRACT_H
#define YELK_PAYLOAD_EXTRACT_H

enum {
    kSliceBytes = 15001   /* bytes one PumpExtraction call consumes at most */
};

/* Results of PumpExtraction */
enum {
    kPumpFailed = 0,      /* message shown */
    kPumpFinished = 1,    /* scan ended */
    kPumpBackupFailed = 2,/* message shown; back to the options page */
    kPumpMore = 3         /* slice used up */
};

/* destDir + "\" + file name of member index; "" outside 0..9. */
void MemberPath(char *out, int index);
void ResetInstall();
void ShowScanStatus();
int PumpExtraction();
int ExtractMember(const char *tempFile);
int DecodeToFile(const char *source, const char *destination);
void CleanupInstall();

#endif
