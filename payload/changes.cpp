/*
 * The run's changes to the destination folder and its journal (changes.h).
 * The journal: four bytes "YKU2", then twelve bytes per step: its kind, the
 * member index, the number of the run's own file it names (two bytes), and,
 * for a member that takes its name, the size and CRC-32 of the file written
 * (four bytes each), low byte first. A step is flushed before it is taken. An
 * undone step has its kind turned to lower case in place, so that a walk that
 * stops or is killed, and is walked again, never repeats one. Files are named
 * only by member index and number, so no journal can lead outside destDir.
 */
#include "payload/changes.h"

#include <cstring>

#include "common/platform.h"
#include "common/session.h"

const char kJournalName[] = "yelkundo.jnl";
static const char kJournalMagic[4] = {'Y', 'K', 'U', '2'};

/* The kinds of step. */
enum Step {
    kStepMadeBackup = 'F',  /* destDir\backup was made */
    kStepOldBackup = 'O',   /* backup\<member> moves to backup\yk<number>.tmp */
    kStepToBackup = 'B',    /* <member> moves to backup\<member>; number names a copy kept */
    kStepAside = 'R',       /* <member> moves to yk<number>.tmp */
    kStepNewFile = 'T',     /* yk<number>.tmp is made, to decode the member into */
    kStepPlace = 'W',       /* yk<number>.tmp takes the member's name */
    kStepDone = 'C',        /* the run finished: only what it set aside is left to go */
    kUndone = 0x20          /* or'ed into the kind of a step once it is undone */
};

enum {
    kMagicBytes = 4,
    kStepBytes = 12,
    kMaxSteps = 64,         /* a run takes at most 4 steps a member, the folder and done */
    kNameSize = kMemberPathSize + 32
};

/* The run's steps as written, or a killed run's as read back. */
static uint8_t journal[kMagicBytes + kMaxSteps * kStepBytes + 1];
static int journalSteps;
static int undoFailed;          /* this run's undo stopped; UndoChanges */
static int keptChanged;         /* an undo kept a file that changed since */
static char undoNote[kNameSize];
static unsigned nextNumber;

static uint8_t *StepAt(int i)
{
    return journal + kMagicBytes + i * kStepBytes;
}

static uint32_t Get32(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24;
}

static void Put32(uint8_t *p, uint32_t v)
{
    for (int k = 0; k < 4; k++)
        p[k] = (uint8_t)(v >> 8 * k);
}

/* destDir, a backslash and name. */
static void InDest(char *out, const char *name)
{
    snprintf(out, kNameSize, "%s\\%s", session.destDir, name);
}

/* The run's own file number, in destDir or in its backup folder. */
static void OwnName(char *out, int inBackup, unsigned number)
{
    snprintf(out, kNameSize, "%s\\%syk%04X.tmp", session.destDir, inBackup ? "backup\\" : "", number);
}

static void BackupOf(char *out, int index)
{
    snprintf(out, kNameSize, "%s\\backup\\%s", session.destDir, kMemberNames[index]);
}

static int DeleteTwice(const char *path)
{
    return DeleteFileAt(path) || DeleteFileAt(path);
}

/* A number whose name is free in destDir (or its backup folder); -1 when
   every one is taken. */
static long FreeNumber(int inBackup)
{
    char name[kNameSize];
    for (long tries = 0; tries <= 0xFFFF; tries++) {
        unsigned number = nextNumber++ & 0xFFFFu;
        OwnName(name, inBackup, number);
        if (PathKind(name) == kPathNone)
            return number;
    }
    return -1;
}

static int WriteFlushed(FILE *j, const void *data, size_t length)
{
    return fwrite(data, 1, length, j) == length && fflush(j) == 0;
}

/* Writes a step to the journal, which the first step creates; the step's
   place plus one, or 0 when it is not on record. */
static int Note(int kind, int index, unsigned number, const MemberCheck *written)
{
    FILE *j = session.journalStream;
    if (j == nullptr) {
        char path[kNameSize];
        InDest(path, kJournalName);
        j = CreateNewFile(path);
        if (j == nullptr)
            return 0;
        journalSteps = 0;
        if (!WriteFlushed(j, kJournalMagic, sizeof kJournalMagic)) {
            /* Nothing is on record yet: the journal goes at once. */
            fclose(j);
            DeleteTwice(path);
            return 0;
        }
        session.journalStream = j;
    }
    if (journalSteps == kMaxSteps)
        return 0;
    uint8_t *s = StepAt(journalSteps);
    memset(s, 0, kStepBytes);
    s[0] = (uint8_t)kind;
    s[1] = (uint8_t)index;
    s[2] = (uint8_t)number;
    s[3] = (uint8_t)(number >> 8);
    if (written) {
        Put32(s + 4, written->size);
        Put32(s + 8, written->crc);
    }
    if (!WriteFlushed(j, s, kStepBytes))
        return 0;
    return ++journalSteps;
}

/* Marks step i undone, in place; 1 when that is on record. */
static int MarkUndone(FILE *j, int i)
{
    uint8_t *s = StepAt(i);
    s[0] |= kUndone;
    int ok = fseek(j, (long)(s - journal), SEEK_SET) == 0 && WriteFlushed(j, s, 1);
    fseek(j, 0, SEEK_END);
    return ok;
}

/* What a step came to: not on record, failed (and so marked undone at
   once, having changed nothing), or taken. */
static ChangeResult Settle(int step, int taken)
{
    if (step == 0)
        return kChangeNoRecord;
    if (!taken) {
        MarkUndone(session.journalStream, step - 1);
        return kChangeFailed;
    }
    return kChangeDone;
}

ChangeResult MakeBackupFolder()
{
    char path[kNameSize];
    InDest(path, "backup");
    int step = Note(kStepMadeBackup, 0, 0, nullptr);
    return Settle(step, step && MakeFolder(path));
}

/* Moves the file at path to a name of the run's own; kind says which. */
static ChangeResult MoveToOwnName(int kind, int index, const char *path)
{
    int inBackup = kind == kStepOldBackup;
    long number = FreeNumber(inBackup);
    if (number < 0)
        return kChangeFailed;
    char own[kNameSize];
    OwnName(own, inBackup, (unsigned)number);
    int step = Note(kind, index, (unsigned)number, nullptr);
    return Settle(step, step && MoveFileTo(path, own));
}

ChangeResult MoveToBackup(int index, const char *path)
{
    char backup[kNameSize];
    BackupOf(backup, index);
    if (PathKind(backup) != kPathNone) {
        ChangeResult older = MoveToOwnName(kStepOldBackup, index, backup);
        if (older != kChangeDone)
            return older;
    }
    long number = FreeNumber(1);
    int step = number < 0 ? 0 : Note(kStepToBackup, index, (unsigned)number, nullptr);
    return Settle(step, step && MoveFileTo(path, backup));
}

ChangeResult SetAside(int index, const char *path)
{
    return MoveToOwnName(kStepAside, index, path);
}

FILE *CreateMemberFile(int index, unsigned *number, ChangeResult *result)
{
    long free = FreeNumber(0);
    *result = kChangeFailed;
    if (free < 0)
        return nullptr;
    char own[kNameSize];
    OwnName(own, 0, (unsigned)free);
    int step = Note(kStepNewFile, index, (unsigned)free, nullptr);
    FILE *f = step ? CreateNewFile(own) : nullptr;
    *result = Settle(step, f != nullptr);
    *number = (unsigned)free;
    return f;
}

ChangeResult PlaceMember(int index, unsigned number, const MemberCheck &written)
{
    char own[kNameSize], member[kNameSize];
    OwnName(own, 0, number);
    InDest(member, kMemberNames[index]);
    int step = Note(kStepPlace, index, number, &written);
    return Settle(step, step && MoveFileTo(own, member));
}

/* ---- Undoing ---- */

/* The walk leaves the file at path where it is: it changed since the run. */
static int Keep(const char *path)
{
    keptChanged = 1;
    snprintf(undoNote, sizeof undoNote, "%s", path);
    return 1;
}

/* The walk cannot go past the file at path. */
static int Stuck(const char *path)
{
    snprintf(undoNote, sizeof undoNote, "%s", path);
    return 0;
}

/* A file the run moved from to goes back, unless it never moved or is back
   already. Where a file made since stands at to, the one at from is kept
   under a name no run uses, keep with ".<number>" added: a later run can
   neither replace it nor take it for its own. */
static int PutBack(const char *from, const char *to, const char *keep, unsigned number)
{
    if (PathKind(from) == kPathNone)
        return 1;
    if (PathKind(to) == kPathNone)
        return MoveFileTo(from, to) || Stuck(from);
    char kept[kNameSize];
    snprintf(kept, sizeof kept, "%s.%04X", keep, number);
    return (MoveFileTo(from, kept) && Keep(kept)) || Stuck(from);
}

/* Undoes one step; 0 when it cannot be undone. */
static int UndoStep(const uint8_t *s)
{
    int kind = s[0];
    unsigned number = s[2] | s[3] << 8;
    char member[kNameSize], own[kNameSize], backup[kNameSize];
    InDest(member, kMemberNames[s[1]]);
    OwnName(own, kind == kStepOldBackup, number);
    BackupOf(backup, s[1]);
    switch (kind) {
    case kStepPlace: {
        /* Only the very file the run wrote goes: one the client or the user
           wrote over it since stays. */
        if (PathKind(member) == kPathNone)
            return 1;
        MemberCheck wrote = {Get32(s + 4), Get32(s + 8)}, found;
        if (!MeasureFile(member, wrote.size, &found) || found.size != wrote.size || found.crc != wrote.crc)
            return Keep(member);
        return DeleteTwice(member) || Stuck(member);
    }
    case kStepAside:
        return PutBack(own, member, member, number);
    case kStepOldBackup:
        return PutBack(own, backup, backup, number);
    case kStepToBackup:
        /* With the member's name taken by a file made since, the original
           stays in the backup folder, where the next backup of its name
           does not replace it. */
        return PutBack(backup, member, backup, number);
    case kStepNewFile:
        if (PathKind(own) != kPathNone)
            DeleteTwice(own);
        return 1;
    case kStepMadeBackup:
        /* Only when nothing else is in it. */
        InDest(own, "backup");
        RemoveFolder(own);
        return 1;
    default:
        return 1;
    }
}

/* Walks the steps in journal[] from the last to the first. A run that was
   not done is undone, each step marked as it completes; 0 at the first step
   that cannot be. For a run that was done only the files it set aside go. */
static int Walk(FILE *j, int done)
{
    for (int i = journalSteps - 1; i >= 0; i--) {
        const uint8_t *s = StepAt(i);
        if (s[0] & kUndone)
            continue;
        if (done) {
            if (s[0] == kStepAside || s[0] == kStepOldBackup) {
                char own[kNameSize];
                OwnName(own, s[0] == kStepOldBackup, s[2] | s[3] << 8);
                ClearAttributes(own);
                DeleteTwice(own);
            }
        } else if (!UndoStep(s) || !MarkUndone(j, i)) {
            return 0;
        }
    }
    return 1;
}

/* Closes the journal after a walk and removes it; 0 when it stays. */
static int CloseAndRemove(FILE *j, int walked)
{
    fclose(j);
    char path[kNameSize];
    InDest(path, kJournalName);
    if (walked && DeleteTwice(path))
        return 1;
    if (walked)
        Stuck(path);
    return 0;
}

void FinishChanges()
{
    FILE *j = session.journalStream;
    if (j == nullptr)
        return;
    /* Once done is on record, a run killed from here on is finished by the
       next one, not undone; the journal goes last, so that nothing set aside
       is left behind. Without done on record the files set aside could still
       be needed to undo the run: they go only once the journal is gone. */
    int done = Note(kStepDone, 0, 0, nullptr);
    session.journalStream = nullptr;
    fclose(j);
    char path[kNameSize];
    InDest(path, kJournalName);
    if (done)
        Walk(nullptr, 1);
    if (DeleteTwice(path) && !done)
        Walk(nullptr, 1);
}

int UndoChanges()
{
    FILE *j = session.journalStream;
    if (j == nullptr)
        return !undoFailed;
    session.journalStream = nullptr;
    undoFailed = !CloseAndRemove(j, Walk(j, 0));
    return !undoFailed;
}

/* Checks the steps read into journal[]: every kind one a run writes, every
   member index in range, done only last. *done when the run was done. */
static int CheckSteps(int *done)
{
    static const uint8_t kKinds[] = {kStepMadeBackup, kStepOldBackup, kStepToBackup, kStepAside, kStepNewFile,
                                     kStepPlace};
    *done = 0;
    for (int i = 0; i < journalSteps; i++) {
        const uint8_t *s = StepAt(i);
        if (s[1] >= kMemberCount || *done)
            return 0;
        int known = s[0] == kStepDone;
        *done = known;
        for (uint8_t kind : kKinds)
            known |= (s[0] | kUndone) == (kind | kUndone);
        if (!known)
            return 0;
    }
    return 1;
}

ReplayResult ReplayJournal()
{
    char path[kNameSize];
    InDest(path, kJournalName);
    PathKindResult kind = PathKind(path);
    if (kind == kPathNone)
        return kReplayClean;
    if (kind != kPathFile)
        return kReplayRefused;
    /* Opened for writing too, to mark its steps: a journal that another
       installer is still writing cannot be opened so on Windows. */
    FILE *j = OpenFileStream(path, "r+b");
    if (j == nullptr)
        return kReplayRefused;
    size_t length = fread(journal, 1, sizeof journal, j);
    size_t head = length < kMagicBytes ? length : kMagicBytes;
    int done = 0, whole = !ferror(j) && length < sizeof journal;
    for (size_t k = 0; k < head; k++)
        whole &= journal[k] == (uint8_t)kJournalMagic[k];
    /* A run killed as it wrote leaves part of the magic or of a step: that
       step was never taken. */
    journalSteps = whole ? (int)((length - head) / kStepBytes) : 0;
    if (!whole || !CheckSteps(&done)) {
        fclose(j);
        return kReplayRefused;
    }
    keptChanged = 0;
    if (!CloseAndRemove(j, Walk(j, done))) {
        journalSteps = 0;
        return kReplayStuck;
    }
    journalSteps = 0;
    return keptChanged ? kReplayKept : kReplayClean;
}

int LinkFreeDestination()
{
    char path[kNameSize];
    for (int i = -2; i < kMemberCount; i++) {
        InDest(path, i == -2 ? "backup" : i == -1 ? kJournalName : kMemberNames[i]);
        if (PathKind(path) == kPathSpecial)
            return 0;
    }
    return 1;
}

void ResetChanges()
{
    journalSteps = 0;
    undoFailed = 0;
    keptChanged = 0;
    undoNote[0] = '\0';
}

const char *UndoNote()
{
    return undoNote;
}
