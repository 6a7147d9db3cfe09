/* What happens to a file an earlier installation left at a member's path. */
#ifndef YELK_PAYLOAD_BACKUP_H
#define YELK_PAYLOAD_BACKUP_H

enum {
    kBackupGoOn = 1,      /* write the member */
    kBackupFailed = 2,    /* message shown */
    kBackupKeep = 3       /* leave the existing file, skip the member */
};

int BackupExisting(const char *path);

#endif
