/* The installer's marker matcher over a file fed in blocks (see payloadscan.h). */
#include "payloadscan.h"

#include "lzhenc_internal.h"
#include "payload/crc.h"

const char *const kMemberNames[10] = {
    "yelk32.exe", "yelk.hlp", "primer.hlp", "about.txt", "history.txt",
    "yelk.ini", "macros.ini", "menus.ini", "hosts.ini", "marks.ini",
};

/* One byte of the member being read: hashed, and kept while it is one of
   the four that give the member's size. */
static void TakeMemberByte(PayloadScan *scan, uint8_t b)
{
    scan->reg = CrcStep(scan->reg, b);
    if (scan->headCount < 4)
        scan->head[scan->headCount++] = b;
}

bool FeedPayloadScan(PayloadScan *scan, const uint8_t *bytes, size_t length)
{
    for (size_t k = 0; k < length && scan->state != kMatchDone; k++) {
        uint64_t at = scan->fed + k;
        uint8_t b = bytes[k];
        if (b == kMarkerBytes[scan->matched]) {
            if (++scan->matched < 4)
                continue;
            scan->matched = 0;
            if (scan->state == kMatchBeforePayload) {
                scan->sawMarker = true;
                scan->firstMarker = at - 3;
            } else if (scan->state == kMatchInMember) {
                const uint8_t *h = scan->head;
                uint32_t size = scan->headCount < 4 ? 0
                                                    : (uint32_t)h[0] | (uint32_t)h[1] << 8 |
                                                          (uint32_t)h[2] << 16 | (uint32_t)h[3] << 24;
                scan->members.push_back({scan->memberStart, at - 3 - scan->memberStart, size});
            } else {
                scan->state = kMatchDone;
                scan->terminated = true;
                scan->end = at + 1;
                break;
            }
            scan->state = kMatchAfterMarker;
            scan->memberStart = at + 1;
            scan->headCount = 0;
            continue;
        }
        /* b breaks (or misses) a match: inside the payload, the partial marker
           and b are member bytes; b is not tried as a marker's start. */
        if (scan->state != kMatchBeforePayload) {
            scan->state = kMatchInMember;
            for (int j = 0; j < scan->matched; j++)
                TakeMemberByte(scan, kMarkerBytes[j]);
            TakeMemberByte(scan, b);
        }
        scan->matched = 0;
    }
    scan->fed += length;
    scan->crc = ~scan->reg;
    return scan->state == kMatchDone;
}

void ScanPayload(const uint8_t *bytes, size_t length, PayloadScan *scan)
{
    *scan = PayloadScan();
    FeedPayloadScan(scan, bytes, length);
}
