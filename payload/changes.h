/*
 * The run's changes to the destination folder, in one place. Each change is
 * written to the run's journal ("yelkundo.jnl" in destDir) before it is taken,
 * so that a run that fails, is aborted or is killed can be undone: by the run
 * itself, or by the next run over the folder before it starts its own. Undoing
 * records each step as it completes, touches only files that are provably the
 * run's own, and keeps whatever the user changed in between.
 */
#ifndef YELK_PAYLOAD_CHANGES_H
#define YELK_PAYLOAD_CHANGES_H

#include <cstdio>

#include "payload/members.h"

/* The journal's file name in destDir. */
extern const char kJournalName[];

/* Results of a change. */
enum ChangeResult {
    kChangeNoRecord = -1, /* the journal could not be written (a full volume): nothing changed */
    kChangeFailed = 0,    /* the step itself failed: nothing changed */
    kChangeDone = 1       /* on record and taken */
};

/* Makes the backup folder destDir\backup. */
ChangeResult MakeBackupFolder();
/* Moves member index's file at path into the backup folder under its name.
   An older backup standing there is first set aside, and goes only when the
   run finishes. */
ChangeResult MoveToBackup(int index, const char *path);
/* Moves member index's file at path aside under a name of the run's own; it
   goes only when the run finishes. */
ChangeResult SetAside(int index, const char *path);
/* Creates the file member index is decoded into, under a name of the run's
   own in destDir; its number into *number. nullptr and *result when that
   fails. */
FILE *CreateMemberFile(int index, unsigned *number, ChangeResult *result);
/* The decoded file number, of size and CRC-32 written, takes member index's
   name (where nothing stands now). */
ChangeResult PlaceMember(int index, unsigned number, const MemberCheck &written);

/* The run finished: its files set aside go, then its journal. */
void FinishChanges();
/* Undoes this run's changes, last first; 1 when everything was undone and
   the journal is gone. A step that cannot be undone stops the walk and keeps
   the journal for the next run; so does a journal that cannot be removed.
   Once it has failed it keeps answering 0 until ResetChanges. */
int UndoChanges();

/* What the next run finds a killed run left. */
enum ReplayResult {
    kReplayClean,     /* no journal, or all of it undone: go on */
    kReplayKept,      /* undone, but files changed since were kept: say so, go on */
    kReplayRefused,   /* no journal of ours, or damaged: nothing was touched */
    kReplayStuck      /* a step could not be undone: the journal stays */
};
/* Reads the journal a killed run left in destDir, checks it whole, and
   undoes it (or, for a run that had finished, removes what it set aside). */
ReplayResult ReplayJournal();

/* 1 when neither the backup folder, nor a member's name, nor the journal's
   is a link, a junction or a special file: nothing is ever moved through one. */
int LinkFreeDestination();

/* Forgets the run's journal (the stream is closed by UndoChanges or
   FinishChanges) and the last note. */
void ResetChanges();

/* The file an undo last stopped at or kept because it had changed; "". */
const char *UndoNote();

#endif
