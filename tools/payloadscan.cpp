/* The installer's marker matcher over a file in memory (see payloadscan.h). */
#include "payloadscan.h"

#include "lzhenc_internal.h"
#include "payload/crc.h"

const char *const kMemberNames[10] = {
    "yelk32.exe", "yelk.hlp", "primer.hlp", "about.txt", "history.txt",
    "yelk.ini", "macros.ini", "menus.ini", "hosts.ini", "marks.ini",
};

void ScanPayload(const uint8_t *bytes, size_t length, PayloadScan *scan)
{
    enum { kBefore, kAfterMarker, kInMember, kDone } state = kBefore;
    *scan = PayloadScan();
    int matched = 0;
    uint64_t memberStart = 0;
    uint32_t reg = 0xFFFFFFFFu;
    for (size_t k = 0; k < length && state != kDone; k++) {
        uint8_t b = bytes[k];
        if (b == kMarkerBytes[matched]) {
            if (++matched < 4)
                continue;
            matched = 0;
            if (state == kBefore) {
                scan->sawMarker = true;
                scan->firstMarker = k - 3;
            } else if (state == kInMember) {
                scan->members.push_back({memberStart, k - 3 - memberStart});
            } else {
                state = kDone;
                scan->terminated = true;
                scan->end = k + 1;
                break;
            }
            state = kAfterMarker;
            memberStart = k + 1;
            continue;
        }
        if (state != kBefore) {
            state = kInMember;
            for (int j = 0; j < matched; j++)
                reg = CrcStep(reg, kMarkerBytes[j]);
            reg = CrcStep(reg, b);
        }
        matched = 0;
    }
    scan->crc = ~reg;
}

uint32_t MemberDecodedSize(const uint8_t *stream, uint64_t length)
{
    if (length < 4)
        return 0;
    return (uint32_t)stream[0] | (uint32_t)stream[1] << 8 | (uint32_t)stream[2] << 16 |
           (uint32_t)stream[3] << 24;
}
