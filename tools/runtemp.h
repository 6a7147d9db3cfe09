/*
 * The private temporary folder of one headless installation. The core puts
 * its temporary member file into the platform's temporary folder under a
 * fixed name; in a folder that others can write, a link planted under that
 * name would take the member's bytes wherever it points. So each run gets a
 * folder of its own (mode 0700, under $TMPDIR or /tmp), handed to the core as
 * its temporary folder and removed when the run ends. The run holds a lock on
 * it while it lives: a later run removes the folders of runs that were killed
 * (their lock is gone with them).
 *
 * A stop signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT) is only noted: the run
 * cleans up between two slices, as an aborted installation does, and then
 * ends by the signal. A second stop signal ends it at once.
 */
#ifndef YELK_TOOLS_RUNTEMP_H
#define YELK_TOOLS_RUNTEMP_H

/* Removes what killed runs left, makes the folder, points the core's
   temporary folder at it and notes stop signals from here on; 1 on success,
   0 when no folder can be made there. */
int MakeRunTempFolder();

/* Removes the folder with whatever the run left in it, and points the core
   back at $TMPDIR. */
void RemoveRunTempFolder();

/* The stop signal that arrived since MakeRunTempFolder, or 0. */
int StopSignalSeen();

/* Ends the process by the noted stop signal, as it would have ended. */
void EndByStopSignal();

#endif
