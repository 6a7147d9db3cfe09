/*
 * The backup policy: decides, for one member's destination path, whether a
 * file an earlier installation left there stays in place (settings files the
 * user keeps), moves into the flat "backup" folder inside destDir, or is
 * overwritten. Called by ExtractMember once the member's bytes are complete.
 */
#include "payload/backup.h"

#include <cstdio>
#include <cstring>

#include "common/messages.h"
#include "common/path.h"
#include "common/platform.h"
#include "common/session.h"
#include "payload/changes.h"

static const char kBackupFolder[] = "\\backup";

/* Longest destDir that leaves room in backupDir for the folder name and its
   closing backslash. */
static const size_t kMaxBackupBase = kPathSize - 1 - (sizeof kBackupFolder - 1) - 1;

/* Shows what a change that was not taken comes to: a journal that cannot be
   written is a write that failed ([5], and the run ends), else error. */
static BackupResult ShowChangeError(ChangeResult result, ErrorId error)
{
    ShowError(result == kChangeNoRecord ? kErrorDecodeMember : error);
    return result == kChangeNoRecord ? kBackupStop : kBackupFailed;
}

/* Makes backupDir ready at the first backup of a run: destDir\backup\, the
   folder created when nothing stands there. */
static BackupResult PrepareBackupDir()
{
    /* A longer destDir would leave no room for the path: the folder is then
       treated as one that cannot be created, and the user picks another. */
    if (strlen(session.destDir) > kMaxBackupBase) {
        ShowError(kErrorBackupFolder);
        return kBackupFailed;
    }
    snprintf(session.backupDir, sizeof session.backupDir, "%s%s", session.destDir, kBackupFolder);
    if (!PathExists(session.backupDir)) {
        /* A folder this run makes goes again when the run does not finish
           (if nothing else is in it by then). */
        ChangeResult made = MakeBackupFolder();
        if (made != kChangeDone) {
            session.backupDir[0] = '\0';
            return ShowChangeError(made, kErrorBackupFolder);
        }
    }
    strcat(session.backupDir, "\\");
    return kBackupGoOn;
}

BackupResult BackupExisting(const char *path)
{
    if (!PathExists(path))
        return kBackupGoOn;

    /* Read-only, hidden or system files are replaced like any other. */
    ClearAttributes(path);

    /* Settings files: ".ini" in the member's own file name, case-sensitively;
       the folders around it do not count. */
    const char *fileName = strrchr(path, '\\');
    fileName = fileName ? fileName + 1 : path;
    if (session.settingsPolicy != kSettingsReplace && strstr(fileName, ".ini") != nullptr) {
        if (session.settingsPolicy == kSettingsKeep)
            return kBackupKeep;
        if (session.keepSettings) {
            session.settingsPolicy = kSettingsKeep;
            return kBackupKeep;
        }
        session.settingsPolicy = kSettingsReplace;
    }

    /* A file that is already the member (same size and CRC-32) stays as it
       is: its backup would replace the one of the version before with a copy
       of this one. */
    if (CheckFileAgainstMember(session.memberIndex, path) == kFileMatches)
        return kBackupKeep;

    if (!session.makeBackups)
        return kBackupGoOn;

    if (session.backupDir[0] == '\0') {
        BackupResult prepared = PrepareBackupDir();
        if (prepared != kBackupGoOn)
            return prepared;
    }

    /* The folder is flat: the backup keeps only the file's name. An older
       backup of the same name is replaced only once the run finishes; a run
       that does not finish leaves the folder as it found it. */
    ChangeResult moved = MoveToBackup(session.memberIndex, path);
    if (moved != kChangeDone)
        return ShowChangeError(moved, kErrorBackupMove);
    return kBackupGoOn;
}
