/*
 * The run's journal: a small file in the destination folder that says, one
 * line per step and written before the step, what the run is about to do to
 * the files there. A run that fails or is aborted undoes its steps from it; a
 * run that was killed leaves it behind, and the next run over the folder
 * undoes those steps before it starts its own.
 */
#ifndef YELK_PAYLOAD_JOURNAL_H
#define YELK_PAYLOAD_JOURNAL_H

#include <cstdio>

/* Steps a journal records. */
enum JournalStep {
    kStepMadeBackup = 'F',   /* this run created the backup folder */
    kStepTempFile = 'T',     /* this run created a file of its own (number) */
    kStepToBackup = 'B',     /* member index's file moves into the backup folder */
    kStepAside = 'R',        /* member index's file moves aside to file number, which this run created */
    kStepWrite = 'W',        /* member index's new file takes its name */
    kStepDone = 'C'          /* the run finished: only its own files remain to go */
};

/* Creates a file in folder under a name no file there had ("yk", four hex
   digits of its number, ".tmp"), made with CreateNewFile so that nothing
   standing at a name is ever opened, and opens it for writing; its path into
   out (size bytes), its number into *number. nullptr when no such file can
   be made. */
FILE *CreateUniqueFile(const char *folder, char *out, int size, unsigned *number);

/* The journal's file name in destDir. */
extern const char kJournalName[];

/* Appends one step and flushes it; opens the journal at the first step (a
   journal that was there already is not overwritten). number names the
   run's own file (CreateUniqueFile in destDir) a step is about, if any. 1 when
   the step is on record. */
int JournalNote(JournalStep step, int index, unsigned number);

/* The run finished: marks it done, removes the journal, then the files it
   set aside and its temporary files. */
void FinishJournal();

/* Undoes the steps the journal in destDir records, last first: new member
   files go, files moved into the backup folder or aside go back to their
   names, the run's own files go; then the journal goes. Also used at the
   start of a run for what a killed run left. 1 when there was no journal or all was
   undone; 0 when something could not be put back (the journal then stays, so
   that a later run can finish it). */
int RollBackJournal();

#endif
