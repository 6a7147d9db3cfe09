/* The installer's marker matcher over a file in memory (see payloadscan.h). */
#include "payloadscan.h"

#include "lzhenc_internal.h"
#include "payload/container.h"

void ScanPayload(const uint8_t *bytes, size_t length, PayloadScan *scan)
{
    *scan = PayloadScan();
    PayloadWalk walk = StartPayloadWalk(MarkerBytes());
    uint64_t memberStart = 0;
    for (size_t at = 0; at < length && walk.part != kPayloadEnded;) {
        PayloadPart before = walk.part;
        MarkerRun run = WalkPayload(walk, bytes + at, length - at);
        at += run.consumed;
        if (!run.markerEnded)
            continue;
        if (before == kBeforePayload) {
            scan->sawMarker = true;
            scan->firstMarker = at - kMarkerLength;
        } else if (walk.part == kPayloadEnded) {
            scan->terminated = true;
            scan->end = at;
        } else {
            scan->members.push_back({memberStart, at - kMarkerLength - memberStart});
        }
        memberStart = at;
    }
    scan->crc = ~walk.crc;
}

uint32_t MemberDecodedSize(const uint8_t *stream, uint64_t length)
{
    if (length < 4)
        return 0;
    return (uint32_t)stream[0] | (uint32_t)stream[1] << 8 | (uint32_t)stream[2] << 16 |
           (uint32_t)stream[3] << 24;
}
