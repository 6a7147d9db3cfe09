/* What happens to a file an earlier installation left at a member's path. */
#ifndef YELK_PAYLOAD_BACKUP_H
#define YELK_PAYLOAD_BACKUP_H

enum BackupResult {
    kBackupGoOn = 1,      /* write the member */
    kBackupFailed = 2,    /* message shown */
    kBackupKeep = 3,      /* leave the existing file, skip the member */
    kBackupStop = 4       /* the run's journal could not be written: [5] shown,
                             the run ends as a failed write does */
};

/* Decides what happens to a file at path (a member's destination) before
   the member is written there, and does it: moves it into the backup folder,
   leaves it, or leaves it to be overwritten. */
BackupResult BackupExisting(const char *path);

#endif
