/*
 * The member marker ("ARNI") that splits the installer file into the payload's
 * members, and the one matcher that finds it: over blocks of bytes, a partial
 * match carried from one block to the next. A byte that breaks a partial match
 * is a member byte and never the start of a marker, so a marker right after
 * "A", "AR" or "ARN" is not recognised.
 */
#ifndef YELK_PAYLOAD_MARKER_H
#define YELK_PAYLOAD_MARKER_H

#include <cstddef>
#include <cstdint>

enum {
    kMarkerLength = 4
};

/* Writes the marker and a terminating zero into out (kMarkerLength + 1
   bytes). It is put together at run time from two halves that no compiler
   may fold into one constant: a whole marker anywhere in the installer's
   image ahead of the payload would be taken for the payload's start. */
void BuildMarker(char *out);

struct MarkerMatcher {
    const uint8_t *marker;   /* the kMarkerLength marker bytes */
    int held;                /* marker bytes matched so far and held back:
                                member bytes only if the match breaks */
};

/* What one MatchMarker call found, in the order of the bytes. */
struct MarkerRun {
    int released;            /* held-back marker bytes from earlier blocks that
                                were member bytes after all; they come first */
    size_t memberBytes;      /* then data[0..memberBytes) are member bytes */
    size_t consumed;         /* bytes of data taken: the member bytes, then a
                                marker's bytes or those held back at the end */
    bool markerEnded;        /* a whole marker ends at data[consumed - 1] */
};

inline MarkerMatcher StartMatcher(const uint8_t *marker)
{
    return MarkerMatcher{marker, 0};
}

/* Scans data[0..size) up to and including the next whole marker, or to its
   end. Bytes that may begin a marker at the end of data stay held back in the
   matcher for the next call. */
MarkerRun MatchMarker(MarkerMatcher &m, const uint8_t *data, size_t size);

#endif
