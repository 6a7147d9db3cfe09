/*
 * The run's journal (journal.h). A small binary file "yelkundo.jnl" in
 * destDir: four bytes "YKU1", then four bytes per step (the step, the member
 * index, the number of the file of the run's own that it names, low byte
 * first), each flushed before the step is taken. Undoing reads it back and
 * walks it from the last step to the first. A journal names files only by
 * member index and number, so no journal can lead outside destDir.
 */
#include "payload/journal.h"

#include <cstdio>

#include "common/platform.h"
#include "common/session.h"
#include "payload/extract.h"   /* kMemberNames */

const char kJournalName[] = "yelkundo.jnl";
static const char kJournalMagic[4] = {'Y', 'K', 'U', '1'};

enum {
    kMaxSteps = 64,        /* a run takes at most 2 + 3 per member steps, and done */
    kStepBytes = 4
};

/* The journal as last read. */
static uint8_t journalBytes[sizeof kJournalMagic + kMaxSteps * kStepBytes + 1];

/* destDir, a backslash and name into out (kMemberPathSize + kPathSize). */
static void FolderFile(char *out, const char *name)
{
    snprintf(out, kMemberPathSize + kPathSize, "%s\\%s", session.destDir, name);
}

/* The path of the run's own file number in folder. */
static int UniqueName(char *out, int size, const char *folder, unsigned number)
{
    return snprintf(out, (size_t)size, "%s\\yk%04X.tmp", folder, number & 0xFFFFu) < size;
}

static void DeleteTwice(const char *path)
{
    if (!DeleteFileAt(path))
        DeleteFileAt(path);
}

FILE *CreateUniqueFile(const char *folder, char *out, int size, unsigned *number)
{
    /* A taken name moves on to the next number; a name that is free but
       cannot be made means the folder takes no new file at all. */
    static unsigned next;
    for (int tries = 0; tries < 0x10000; tries++) {
        *number = next++ & 0xFFFFu;
        if (!UniqueName(out, size, folder, *number))
            return nullptr;
        FILE *f = CreateNewFile(out);
        if (f != nullptr || !PathExists(out))
            return f;
    }
    return nullptr;
}

static int WriteFlushed(FILE *j, const void *data, size_t length)
{
    return fwrite(data, 1, length, j) == length && fflush(j) == 0;
}

int JournalNote(JournalStep step, int index, unsigned number)
{
    FILE *j = session.journalStream;
    if (j == nullptr) {
        char path[kMemberPathSize + kPathSize];
        FolderFile(path, kJournalName);
        j = CreateNewFile(path);
        if (j == nullptr)
            return 0;
        if (!WriteFlushed(j, kJournalMagic, sizeof kJournalMagic)) {
            /* Nothing is on record yet: the journal goes at once. */
            fclose(j);
            DeleteTwice(path);
            return 0;
        }
        session.journalStream = j;
    }
    const uint8_t record[kStepBytes] = {(uint8_t)step, (uint8_t)index, (uint8_t)number, (uint8_t)(number >> 8)};
    return WriteFlushed(j, record, sizeof record);
}

/* Reads the journal at path into journalBytes; the number of steps, -1 when
   it is no journal of this program or more than a run writes. A run killed
   as it wrote leaves part of the magic or of a step: that step was never
   taken. */
static int ReadJournal(const char *path)
{
    /* Opened for writing too: a journal that another installer is still
       writing cannot be opened so on Windows, and is not undone under it. */
    FILE *f = OpenFileStream(path, "r+b");
    if (f == nullptr)
        return -1;
    size_t length = fread(journalBytes, 1, sizeof journalBytes, f);
    int failed = ferror(f);
    fclose(f);
    if (failed || length == sizeof journalBytes)
        return -1;
    size_t head = length < sizeof kJournalMagic ? length : sizeof kJournalMagic;
    for (size_t k = 0; k < head; k++)
        if (journalBytes[k] != (uint8_t)kJournalMagic[k])
            return -1;
    return (int)((length - head) / kStepBytes);
}

static void CloseJournal()
{
    if (session.journalStream) {
        fclose(session.journalStream);
        session.journalStream = nullptr;
    }
}

/* Undoes one step of an unfinished run; 0 when it cannot be undone. */
static int UndoStep(int step, int index, unsigned number)
{
    char member[kMemberPathSize + kPathSize], other[kMemberPathSize + kPathSize];
    FolderFile(member, kMemberNames[index]);
    UniqueName(other, sizeof other, session.destDir, number);
    switch (step) {
    case kStepWrite:
        /* Before this step the member's name was free (its old file had gone
           aside or into the backup folder): what stands there now is this
           run's. */
        return !PathExists(member) || DeleteFileAt(member) || DeleteFileAt(member);
    case kStepToBackup:
    case kStepAside:
        if (step == kStepToBackup)
            snprintf(other, sizeof other, "%s\\backup\\%s", session.destDir, kMemberNames[index]);
        /* The name still taken means the move never happened: the old file
           is where it was, and an aside name holds only its empty stand-in. */
        if (PathExists(member)) {
            if (step == kStepAside)
                DeleteTwice(other);
            return 1;
        }
        return !PathExists(other) || MoveFileReplacing(other, member);
    case kStepTempFile:
        if (PathExists(other))
            DeleteTwice(other);
        return 1;
    case kStepMadeBackup:
        FolderFile(other, "backup");
        RemoveFolder(other);
        return 1;
    default:
        return 0;
    }
}

/* Reads the journal, and undoes it or, for a run that finished, removes what
   it set aside and its own temporary files: after the journal, so that a run
   killed in between leaves a stray file, never a lost one. */
static int ReplayJournal(int undo)
{
    CloseJournal();
    char path[kMemberPathSize + kPathSize];
    FolderFile(path, kJournalName);
    if (!PathExists(path))
        return 1;
    int count = ReadJournal(path);
    if (count < 0)
        return 0;

    const uint8_t *steps = journalBytes + sizeof kJournalMagic;
    for (int i = 0; i < count; i++) {
        const uint8_t *s = steps + i * kStepBytes;
        if (s[1] >= kMemberCount)
            return 0;
        if (s[0] == kStepDone)
            undo = 0;
    }
    if (!undo && !DeleteFileAt(path) && !DeleteFileAt(path))
        return 0;
    for (int i = count - 1; i >= 0; i--) {
        const uint8_t *s = steps + i * kStepBytes;
        int step = s[0];
        if (!undo) {
            if (step != kStepAside && step != kStepTempFile)
                continue;
            step = kStepTempFile;
        }
        if (!UndoStep(step, s[1], s[2] | s[3] << 8))
            return 0;
    }
    if (undo)
        DeleteTwice(path);
    return 1;
}

void FinishJournal()
{
    if (session.journalStream == nullptr)
        return;
    JournalNote(kStepDone, 0, 0);
    ReplayJournal(0);
}

int RollBackJournal()
{
    return ReplayJournal(1);
}
