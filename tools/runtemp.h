/*
 * The private temporary folder of one headless installation. The core puts
 * its temporary member file into the platform's temporary folder under a
 * fixed name; in a folder that others can write, a link planted under that
 * name would take the member's bytes wherever it points. So each run gets a
 * folder of its own (mode 0700, under $TMPDIR or /tmp), handed to the core as
 * its temporary folder and removed when the run ends, also when a signal
 * stops it.
 */
#ifndef YELK_TOOLS_RUNTEMP_H
#define YELK_TOOLS_RUNTEMP_H

/* Makes the folder and points the core's temporary folder at it; 1 on
   success, 0 when no folder can be made there. */
int MakeRunTempFolder();

/* Removes the folder with whatever the run left in it, and points the core
   back at $TMPDIR. */
void RemoveRunTempFolder();

#endif
