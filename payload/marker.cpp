/* The member marker and its matcher (marker.h). */
#include "payload/marker.h"

#include <cstring>

/* Read through volatile pointers, so that the halves stay apart in the
   image. */
static const char *volatile markerHead = "A";
static const char *volatile markerTail = "RNI";

void BuildMarker(char *out)
{
    strcpy(out, markerHead);
    strcat(out, markerTail);
}

MarkerRun MatchMarker(MarkerMatcher &m, const uint8_t *data, size_t size)
{
    const uint8_t *marker = m.marker;
    int carried = m.held;   /* held bytes that stand before data */
    int held = carried;
    MarkerRun run = {0, 0, 0, false};
    for (size_t i = 0; i < size; i++) {
        if (data[i] == marker[held]) {
            if (++held == kMarkerLength) {
                /* The marker's bytes in data are not member bytes. */
                run.memberBytes = i + 1 - (size_t)(held - carried);
                run.consumed = i + 1;
                run.markerEnded = true;
                m.held = 0;
                return run;
            }
            continue;
        }
        /* The match breaks here: what it held, and this byte, are member
           bytes, and this byte is not tried as a marker's first. */
        if (carried) {
            run.released = carried;
            carried = 0;
        }
        held = 0;
        run.memberBytes = i + 1;
    }
    /* Bytes held back at the end are not member bytes yet. */
    run.consumed = size;
    m.held = held;
    return run;
}
