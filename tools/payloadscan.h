/*
 * The installer's own payload walk (payload/container.h), fed a file block by
 * block, reporting where it finds things: the first marker, each member
 * stream, the terminating pair, and the CRC it hashes along the way. A marker
 * hidden behind "A", "AR" or "ARN" is missed here as in the installer.
 */
#ifndef YELK_TOOLS_PAYLOADSCAN_H
#define YELK_TOOLS_PAYLOADSCAN_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/lzhenc_internal.h"   /* MarkerBytes */
#include "payload/container.h"
#include "payload/extract.h"   /* kMemberNames */

struct ScannedMember {
    uint64_t offset;            /* first byte of the stream in the file */
    uint64_t length;            /* up to the marker that closes it */
    uint32_t decodedSize = 0;   /* its size field (first four bytes, little-endian); 0 when shorter */
};

struct PayloadScan {
    bool sawMarker = false;       /* a marker was recognised at all */
    uint64_t firstMarker = 0;     /* offset of the first one */
    std::vector<ScannedMember> members;   /* at most the first 11: more is damage already */
    bool tooMany = false;         /* an eleventh member was closed by a marker */
    bool terminated = false;      /* the marker pair was found */
    uint64_t end = 0;             /* offset just after the pair */
    uint32_t crc = 0;             /* what PayloadCrc returns for the bytes fed so far */

    /* The walk between one block and the next. */
    uint64_t fed = 0;                        /* bytes fed so far */
    PayloadWalk walk = StartPayloadWalk(MarkerBytes());
    uint64_t memberStart = 0;                /* offset of the member being read */
    uint8_t head[4] = {};                    /* first bytes of the member being read */
    int headCount = 0;
};

/* Feeds the next length bytes of the file to a scan that starts as
   PayloadScan(). Returns true once the terminating pair has been read; bytes
   fed after it are ignored. */
bool FeedPayloadScan(PayloadScan *scan, const uint8_t *bytes, size_t length);

/* The whole scan over a file in memory. */
void ScanPayload(const uint8_t *bytes, size_t length, PayloadScan *scan);

#endif
