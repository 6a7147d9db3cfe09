/* The member marker and its matcher (marker.h). */
#include "payload/marker.h"

#include <cstring>

/* The marker's bytes with a zero between the first and the rest, so that the
   four never stand together in the image (where a scan would take them for a
   marker); read through volatile, so that the compiler cannot join them into
   one constant either. */
static const volatile char kMarkerParts[kMarkerLength + 1] = {'A', '\0', 'R', 'N', 'I'};

void BuildMarker(char *out)
{
    out[0] = kMarkerParts[0];
    for (int i = 1; i < kMarkerLength; i++)
        out[i] = kMarkerParts[i + 1];
    out[kMarkerLength] = '\0';
}

/*
 * How the matcher finds a marker fast. A byte that is not the marker's first
 * can neither start nor (once a match has broken) continue one, so the scan
 * jumps from one occurrence of the first byte to the next with memchr. At an
 * occurrence it compares the bytes after it with the rest of the marker: all
 * three equal is a marker; the first unequal one breaks the match, is a member
 * byte and is not tried as a first byte itself, so the next search starts
 * after it. A match that runs into the end of the block is held back.
 */
MarkerRun MatchMarker(MarkerMatcher &m, const uint8_t *data, size_t size)
{
    const uint8_t *marker = m.marker;
    MarkerRun run = {0, 0, 0, false};
    size_t i = 0;

    /* A match carried from the block before goes on with this block's first
       bytes. */
    if (m.held > 0) {
        int held = m.held;
        while (i < size && data[i] == marker[held]) {
            i++;
            if (++held == kMarkerLength) {
                m.held = 0;
                run.consumed = i;
                run.markerEnded = true;
                return run;
            }
        }
        if (i == size) {
            m.held = held;
            run.consumed = size;
            return run;
        }
        /* data[i] breaks it: the carried bytes, this block's part of the match
           and data[i] are member bytes. */
        run.released = m.held;
        m.held = 0;
        i++;
    }

    const uint8_t first = marker[0];
    while (i < size) {
        const void *found = memchr(data + i, first, size - i);
        if (found == nullptr)
            break;
        size_t at = (size_t)(static_cast<const uint8_t *>(found) - data);
        size_t k = 1;
        while (k < kMarkerLength && at + k < size && data[at + k] == marker[k])
            k++;
        if (k == kMarkerLength) {
            run.memberBytes = at;
            run.consumed = at + kMarkerLength;
            run.markerEnded = true;
            return run;
        }
        if (at + k == size) {
            /* The block ends inside a possible marker: hold those bytes. */
            m.held = (int)k;
            run.memberBytes = at;
            run.consumed = size;
            return run;
        }
        i = at + k + 1;   /* past the byte that broke the match */
    }
    run.memberBytes = size;
    run.consumed = size;
    return run;
}
