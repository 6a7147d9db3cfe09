/*
 * The installer's byte-wise marker matcher, fed a file block by block,
 * reporting where it finds things: the first marker, each member stream, the
 * terminating pair, and the CRC it hashes along the way. It matches exactly as
 * the installer does (a byte that breaks a partial match is never the start of
 * a marker), so a marker hidden behind "A", "AR" or "ARN" is missed here too.
 */
#ifndef YELK_TOOLS_PAYLOADSCAN_H
#define YELK_TOOLS_PAYLOADSCAN_H

#include <cstddef>
#include <cstdint>
#include <vector>

struct ScannedMember {
    uint64_t offset;            /* first byte of the stream in the file */
    uint64_t length;            /* up to the marker that closes it */
    uint32_t decodedSize = 0;   /* its size field (first four bytes, little-endian); 0 when shorter */
};

/* Where the matcher stands relative to the payload. */
enum MatcherState {
    kMatchBeforePayload,   /* no marker yet: nothing is hashed */
    kMatchAfterMarker,     /* a marker just ended; a second one ends the payload */
    kMatchInMember,        /* inside a member stream */
    kMatchDone             /* the terminating pair has been read */
};

struct PayloadScan {
    bool sawMarker = false;       /* a marker was recognised at all */
    uint64_t firstMarker = 0;     /* offset of the first one */
    std::vector<ScannedMember> members;
    bool terminated = false;      /* the marker pair was found */
    uint64_t end = 0;             /* offset just after the pair */
    uint32_t crc = 0;             /* what PayloadCrc returns for the bytes fed so far */

    /* The matcher between one block and the next. */
    uint64_t fed = 0;                        /* bytes fed so far */
    MatcherState state = kMatchBeforePayload;
    int matched = 0;                         /* marker bytes matched so far */
    uint64_t memberStart = 0;                /* offset of the member being read */
    uint32_t reg = 0xFFFFFFFFu;              /* CRC register */
    uint8_t head[4] = {};                    /* first bytes of the member being read */
    int headCount = 0;
};

/* Feeds the next length bytes of the file to a scan that starts as
   PayloadScan(). Returns true once the terminating pair has been read; bytes
   fed after it are ignored. */
bool FeedPayloadScan(PayloadScan *scan, const uint8_t *bytes, size_t length);

/* The whole scan over a file in memory. */
void ScanPayload(const uint8_t *bytes, size_t length, PayloadScan *scan);

/* The ten client files in payload order. */
extern const char *const kMemberNames[10];

#endif
