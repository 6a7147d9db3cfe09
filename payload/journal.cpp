/*
 * The run's journal (journal.h). A text file "yelkundo.jnl" in destDir: a
 * header line, then one line per step, "<step> <member index> <name>", each
 * flushed before the step is taken. Undoing reads it back and walks it from
 * the last line to the first.
 */
#include "payload/journal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/platform.h"
#include "common/session.h"
#include "payload/extract.h"

const char kJournalName[] = "yelkundo.jnl";
static const char kJournalHeader[] = "yelk undo 1\n";

enum {
    kMaxSteps = 64,              /* a run takes at most 2 + 3 per member steps, and done */
    kLineSize = kPathSize + 16
};

/* The journal's lines as last read, header left out. */
static char steps[kMaxSteps][kLineSize];

static void JournalPath(char *out)
{
    snprintf(out, kMemberPathSize, "%s\\%s", session.destDir, kJournalName);
}

/* destDir\name into out. */
static void FolderFile(char *out, const char *name)
{
    snprintf(out, kMemberPathSize, "%s\\%s", session.destDir, name);
}

static void DeleteTwice(const char *path)
{
    if (!DeleteFileAt(path))
        DeleteFileAt(path);
}

int JournalNote(JournalStep step, int index, const char *name)
{
    if (session.journalStream == nullptr) {
        char path[kMemberPathSize];
        JournalPath(path);
        session.journalStream = CreateNewFile(path);
        if (session.journalStream == nullptr)
            return 0;
        if (fputs(kJournalHeader, session.journalStream) < 0 || fflush(session.journalStream) != 0) {
            /* Nothing is on record yet: the journal goes at once. */
            fclose(session.journalStream);
            session.journalStream = nullptr;
            DeleteTwice(path);
            return 0;
        }
        if (session.createdDestDir && !JournalNote(kStepMadeFolder, 0, nullptr))
            return 0;
    }
    char line[kLineSize];
    snprintf(line, sizeof line, "%c %d %s\n", (char)step, index, name ? name : "-");
    FILE *j = session.journalStream;
    return fputs(line, j) >= 0 && fflush(j) == 0 && !ferror(j);
}

/* A name a journal may give: a plain file name in destDir, never a path that
   leads elsewhere. */
static int PlainName(const char *name)
{
    return name[0] != '\0' && name[0] != '.' && strpbrk(name, "\\/:") == nullptr;
}

/* Reads the journal at path into steps; the number of steps, -1 when it is no
   journal of this program or more than a run can write. */
static int ReadJournal(const char *path)
{
    /* Opened for writing too: a journal that another installer is still
       writing cannot be opened so on Windows, and is not undone under it. */
    FILE *f = OpenFileStream(path, "r+b");
    if (f == nullptr)
        return -1;
    /* A run killed as it made its journal leaves it empty or with part of
       its header: no step was taken yet. */
    char line[kLineSize];
    int count = -1;
    if (!fgets(line, sizeof line, f))
        count = 0;
    else if (strcmp(line, kJournalHeader) == 0)
        count = 0;
    else if (strncmp(line, kJournalHeader, strlen(line)) == 0 && !fgets(line, sizeof line, f))
        return fclose(f), 0;
    while (count >= 0 && fgets(line, sizeof line, f)) {
        char *end = line + strlen(line);
        if (count == kMaxSteps || end == line || end[-1] != '\n') {
            count = -1;
            break;
        }
        end[-1] = '\0';
        strcpy(steps[count++], line);
    }
    if (ferror(f))
        count = -1;
    fclose(f);
    return count;
}

/* One step taken apart: 1 when it is well formed. */
static int ParseStep(const char *line, char *step, int *index, const char **name)
{
    char *after = nullptr;
    if (line[0] == '\0' || line[1] != ' ')
        return 0;
    *step = line[0];
    long n = strtol(line + 2, &after, 10);
    if (after == line + 2 || *after != ' ' || n < 0 || n >= kMemberCount)
        return 0;
    *index = (int)n;
    *name = after + 1;
    return (**name == '-' && (*name)[1] == '\0') || PlainName(*name);
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
    char member[kMemberPathSize], other[kMemberPathSize + kPathSize];
    MemberPath(member, index);
    switch (step) {
    case kStepWrite:
        /* Before this step the member's name was free (its old file had
           gone aside or into the backup folder): what stands there now is
           this run's. */
        if (PathExists(member) && !DeleteFileAt(member) && !DeleteFileAt(member))
            return 0;
        return 1;
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
        snprintf(other, sizeof other, "%s\\backup", session.destDir);
        RemoveFolder(other);
        return 1;
    case kStepMadeFolder:
        session.createdDestDir = 1;
        return 1;
    default:
        return 0;
    }
}

/* Reads the journal, and undoes it or, for a run that finished, removes its
   own files. */
static int ReplayJournal(int undo)
{
    CloseJournal();
    char path[kMemberPathSize];
    JournalPath(path);
    if (!PathExists(path))
        return 1;
    int count = ReadJournal(path);
    if (count < 0)
        return 0;

    char step;
    int index;
    const char *name;
    for (int i = 0; i < count; i++)
        if (ParseStep(steps[i], &step, &index, &name) && step == kStepDone)
            undo = 0;
    /* A run that finished keeps its files; only what it set aside and its
       own temporary files go, after the journal (a run killed in between
       leaves a stray file, never a lost one). */
    if (!undo) {
        if (!DeleteFileAt(path) && !DeleteFileAt(path))
            return 0;
    }
    for (int i = count - 1; i >= 0; i--) {
        if (!ParseStep(steps[i], &step, &index, &name))
            return 0;
        if (!undo) {
            if (step == kStepAside || step == kStepTempFile) {
                char other[kMemberPathSize];
                FolderFile(other, name);
                if (PathExists(other))
                    DeleteTwice(other);
            }
        } else if (!UndoStep(step, index, name)) {
            return 0;
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
