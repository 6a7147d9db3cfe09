/*
 * The installer's own payload walk (payload/container.h) over a whole file in
 * memory, reporting where it finds things: the first marker, each member
 * stream, the terminating pair, and the CRC it hashes along the way. A marker
 * hidden behind "A", "AR" or "ARN" is missed here as in the installer.
 */
#ifndef YELK_TOOLS_PAYLOADSCAN_H
#define YELK_TOOLS_PAYLOADSCAN_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "payload/extract.h"   /* kMemberNames */

struct ScannedMember {
    uint64_t offset;     /* first byte of the stream in the file */
    uint64_t length;     /* up to the marker that closes it */
};

struct PayloadScan {
    bool sawMarker = false;       /* a marker was recognised at all */
    uint64_t firstMarker = 0;     /* offset of the first one */
    std::vector<ScannedMember> members;
    bool terminated = false;      /* the marker pair was found */
    uint64_t end = 0;             /* offset just after the pair */
    uint32_t crc = 0;             /* what PayloadCrc returns for this file */
};

void ScanPayload(const uint8_t *bytes, size_t length, PayloadScan *scan);

/* Decoded size field of a member stream (its first four bytes, little-endian);
   0 when the stream is shorter. */
uint32_t MemberDecodedSize(const uint8_t *stream, uint64_t length);

#endif
