/*
 * The run's journal (journal.h). A text file "yelkundo.jnl" in destDir: a
 * header line, then one line per step, "<step> <member index> <name>", each
 * flushed before the step is taken. Undoing reads it back and walks it from
 * the last line to the first.
 */
#include "payload/journal.h"

#include <cstdio>
#include <cstring>

#include "common/platform.h"
#include "common/session.h"
#include "payload/extract.h"   /* kMemberNames */

const char kJournalName[] = "yelkundo.jnl";
static const char kJournalHeader[] = "yelk undo 1\n";

enum {
    kMaxSteps = 64,              /* a run takes at most 2 + 3 per member steps, and done */
    kJournalBytes = 4096         /* more than kMaxSteps lines of this run's names take */
};

/* The journal as last read, each line's end made a terminator; steps point
   at its lines after the header. */
static char journalText[kJournalBytes + 1];
static char *steps[kMaxSteps];

/* destDir, a backslash and name into out (kMemberPathSize + kPathSize). */
static void FolderFile(char *out, const char *name)
{
    snprintf(out, kMemberPathSize + kPathSize, "%s\\%s", session.destDir, name);
}

static void DeleteTwice(const char *path)
{
    if (!DeleteFileAt(path))
        DeleteFileAt(path);
}

FILE *CreateUniqueFile(const char *folder, char *out, int size)
{
    /* A taken name moves on to the next number; a name that is free but
       cannot be made means the folder takes no new file at all. */
    static unsigned next;
    for (int tries = 0; tries < 0x10000; tries++) {
        if (snprintf(out, (size_t)size, "%s\\yk%04X.tmp", folder, (next++) & 0xFFFFu) >= size)
            return nullptr;
        FILE *f = CreateNewFile(out);
        if (f != nullptr || !PathExists(out))
            return f;
    }
    return nullptr;
}

int JournalNote(JournalStep step, int index, const char *name)
{
    FILE *j = session.journalStream;
    if (j == nullptr) {
        char path[kMemberPathSize + kPathSize];
        FolderFile(path, kJournalName);
        j = CreateNewFile(path);
        if (j == nullptr)
            return 0;
        const size_t header = sizeof kJournalHeader - 1;
        if (fwrite(kJournalHeader, 1, header, j) != header || fflush(j) != 0) {
            /* Nothing is on record yet: the journal goes at once. */
            fclose(j);
            DeleteTwice(path);
            return 0;
        }
        session.journalStream = j;
        if (session.createdDestDir && !JournalNote(kStepMadeFolder, 0, nullptr))
            return 0;
    }
    char line[kPathSize + 8];
    size_t length = (size_t)snprintf(line, sizeof line, "%c%d %s\n", (char)step, index, name ? name : "-");
    return fwrite(line, 1, length, j) == length && fflush(j) == 0;
}

/* Reads the journal at path into steps; the number of steps, -1 when it is no
   journal of this program or more than a run can write. A run killed as it
   made its journal leaves it empty or with part of its header: no step. */
static int ReadJournal(const char *path)
{
    /* Opened for writing too: a journal that another installer is still
       writing cannot be opened so on Windows, and is not undone under it. */
    FILE *f = OpenFileStream(path, "r+b");
    if (f == nullptr)
        return -1;
    size_t length = fread(journalText, 1, sizeof journalText, f);
    int failed = ferror(f);
    fclose(f);
    journalText[length] = '\0';
    size_t header = sizeof kJournalHeader - 1;
    if (failed || length > kJournalBytes)
        return -1;
    if (length < header)
        return strstr(kJournalHeader, journalText) == kJournalHeader ? 0 : -1;
    if (strstr(journalText, kJournalHeader) != journalText || journalText[length - 1] != '\n')
        return -1;
    int count = 0;
    for (char *p = journalText + header; *p != '\0'; count++) {
        if (count == kMaxSteps)
            return -1;
        steps[count] = p;
        while (*p != '\n')
            p++;
        *p++ = '\0';
    }
    return count;
}

/* One step taken apart ("B3 -", "T0 yk1A2B.tmp"): 1 when it is well formed
   and names, if anything, a plain file in destDir. */
static int ParseStep(const char *line, char *step, int *index, const char **name)
{
    *step = line[0];
    *index = line[1] - '0';
    *name = line + 3;
    if (*index < 0 || *index >= kMemberCount || line[2] != ' ')
        return 0;
    if ((*name)[0] == '-' && (*name)[1] == '\0')
        return 1;
    if ((*name)[0] == '\0' || (*name)[0] == '.')
        return 0;
    for (const char *p = *name; *p != '\0'; p++)
        if (*p == '\\' || *p == '/' || *p == ':')
            return 0;
    return 1;
}

static void CloseJournal()
{
    if (session.journalStream) {
        fclose(session.journalStream);
        session.journalStream = nullptr;
    }
}

/* Undoes one step of an unfinished run; 0 when it cannot be undone. */
static int UndoStep(char step, int index, const char *name)
{
    char member[kMemberPathSize + kPathSize], other[kMemberPathSize + kPathSize];
    FolderFile(member, kMemberNames[index]);
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
        else
            FolderFile(other, name);
        /* The name still taken means the move never happened: the old file
           is where it was, and an aside name holds only its empty stand-in. */
        if (PathExists(member)) {
            if (step == kStepAside)
                DeleteTwice(other);
            return 1;
        }
        return !PathExists(other) || MoveFileReplacing(other, member);
    case kStepTempFile:
        FolderFile(other, name);
        if (PathExists(other))
            DeleteTwice(other);
        return 1;
    case kStepMadeBackup:
        FolderFile(other, "backup");
        RemoveFolder(other);
        return 1;
    case kStepMadeFolder:
        session.createdDestDir = 1;
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

    char step;
    int index;
    const char *name;
    for (int i = 0; i < count; i++)
        if (!ParseStep(steps[i], &step, &index, &name))
            return 0;
        else if (step == kStepDone)
            undo = 0;
    if (!undo && !DeleteFileAt(path) && !DeleteFileAt(path))
        return 0;
    for (int i = count - 1; i >= 0; i--) {
        ParseStep(steps[i], &step, &index, &name);
        if (undo) {
            if (!UndoStep(step, index, name))
                return 0;
        } else if (step == kStepAside || step == kStepTempFile) {
            UndoStep(kStepTempFile, index, name);
        }
    }
    if (undo)
        DeleteTwice(path);
    return 1;
}

void FinishJournal()
{
    if (session.journalStream == nullptr)
        return;
    JournalNote(kStepDone, 0, nullptr);
    ReplayJournal(0);
}

int RollBackJournal()
{
    return ReplayJournal(1);
}
