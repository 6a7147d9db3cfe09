/*
 * The marks of a traced build (trace.h): a fixed table of stamps filled while
 * the installer runs and written out in one go, so that writing them costs
 * the run nothing. Compiled to nothing unless YELK_TRACE is defined.
 */
#include "wizard/trace.h"

#ifdef YELK_TRACE

#include <windows.h>

enum {
    kTraceCapacity = 65536   /* marks kept; later ones are dropped */
};

struct TraceEntry {
    const char *what;   /* label given by the caller */
    int arg;            /* the caller's number (slice, member, command row) */
    LONGLONG stamp;     /* QueryPerformanceCounter at the mark */
};

static TraceEntry traceEntries[kTraceCapacity];
static int traceCount;

void TraceMark(const char *what, int arg)
{
    if (traceCount >= kTraceCapacity)
        return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    traceEntries[traceCount++] = {what, arg, now.QuadPart};
}

void WriteTrace()
{
    char name[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("YELK_TRACE_FILE", name, sizeof name);
    if (n == 0 || n >= sizeof name)
        lstrcpyA(name, "c:\\setup32-trace.txt");
    /* user32's formatter and kernel32's writes: the traced installer stays
       the size of an ordinary one, so its file needs the same slices. */
    HANDLE out = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        for (int i = 0; i < traceCount; i++) {
            LONGLONG ticks = traceEntries[i].stamp - traceEntries[0].stamp;
            char line[128];
            int length = wsprintfA(line, "%ld %s %d\n", (long)(ticks * 1000000 / frequency.QuadPart),
                                   traceEntries[i].what, traceEntries[i].arg);
            DWORD written;
            WriteFile(out, line, (DWORD)length, &written, nullptr);
        }
        CloseHandle(out);
    }
    traceCount = 0;
}

#endif
