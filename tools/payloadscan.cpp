/* The installer's payload walk over a file fed in blocks (see payloadscan.h). */
#include "tools/payloadscan.h"

/* Bytes of the member being read: kept while they are among the four that
   give the member's size. */
static void KeepHead(PayloadScan *scan, const uint8_t *bytes, size_t count)
{
    for (size_t k = 0; k < count && scan->headCount < 4; k++)
        scan->head[scan->headCount++] = bytes[k];
}

bool FeedPayloadScan(PayloadScan *scan, const uint8_t *bytes, size_t length)
{
    PayloadWalk &walk = scan->walk;
    for (size_t k = 0; k < length && walk.part != kPayloadEnded;) {
        PayloadPart before = walk.part;
        MarkerRun run = WalkPayload(walk, bytes + k, length - k);
        if (before != kBeforePayload) {
            KeepHead(scan, walk.matcher.marker, (size_t)run.released);
            KeepHead(scan, bytes + k, run.memberBytes);
        }
        k += run.consumed;
        if (!run.markerEnded)
            continue;
        uint64_t at = scan->fed + k;   /* just after the marker */
        if (before == kBeforePayload) {
            scan->sawMarker = true;
            scan->firstMarker = at - kMarkerLength;
        } else if (walk.part == kPayloadEnded) {
            scan->terminated = true;
            scan->end = at;
            break;
        } else {
            const uint8_t *h = scan->head;
            uint32_t size = scan->headCount < 4 ? 0
                                                : (uint32_t)h[0] | (uint32_t)h[1] << 8 |
                                                      (uint32_t)h[2] << 16 | (uint32_t)h[3] << 24;
            /* An installer has ten members; the walk goes on to the end for
               the CRC, but what is kept stays the same size whatever the
               file holds. */
            if (scan->members.size() <= kMemberCount)
                scan->members.push_back({scan->memberStart, at - kMarkerLength - scan->memberStart, size});
            if (scan->members.size() > kMemberCount)
                scan->tooMany = true;
        }
        scan->memberStart = at;
        scan->headCount = 0;
    }
    scan->fed += length;
    scan->crc = ~walk.crc;
    return walk.part == kPayloadEnded;
}

void ScanPayload(const uint8_t *bytes, size_t length, PayloadScan *scan)
{
    *scan = PayloadScan();
    FeedPayloadScan(scan, bytes, length);
}
