/*
 * Timing marks for a traced build (YELK_TRACE defined): each mark records a
 * performance-counter stamp, and WriteTrace writes them all to a text file
 * once the finish page shows. In an ordinary build both are empty.
 */
#ifndef YELK_WIZARD_TRACE_H
#define YELK_WIZARD_TRACE_H

#ifdef YELK_TRACE
/* Records `what` (a string that outlives the run) with `arg` and the time. */
void TraceMark(const char *what, int arg = 0);
/* Writes "microseconds what arg" lines to the file named by the environment
   variable YELK_TRACE_FILE, else c:\setup32-trace.txt, and starts afresh. */
void WriteTrace();
#else
inline void TraceMark(const char *, int = 0) {}
inline void WriteTrace() {}
#endif

#endif
