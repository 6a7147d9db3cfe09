/* Finding the expected-CRC record in an executable (see crcrecord.h). */
#include "payload/crcrecord.h"

#include <cstring>

#include "payload/extract.h"
#include "tools/lzhenc_internal.h"

static_assert((int)kMemberRecordText == (int)kMemberCheckText, "the record holds the text ReadMemberChecks reads");

const char kCrcRecordTag[8] = {'Y', 'E', 'L', 'K', 'C', 'R', 'C', '1'};

/* The first place in bytes[0..length) where a record of size bytes that
   starts with tag stands whole; nullptr when there is none. Jumps from one
   'Y' to the next, so that a file without records is passed over quickly. */
static const uint8_t *FindTagged(const uint8_t *bytes, size_t length, const char tag[8], size_t size)
{
    if (length < size)
        return nullptr;
    const uint8_t *last = bytes + (length - size);
    for (const uint8_t *p = bytes; p <= last; p++) {
        p = static_cast<const uint8_t *>(memchr(p, tag[0], (size_t)(last - p) + 1));
        if (p == nullptr)
            return nullptr;
        if (memcmp(p, tag, 8) == 0)
            return p;
    }
    return nullptr;
}

int FindCrcRecord(const uint8_t *bytes, size_t length, uint32_t *crc)
{
    const uint8_t *at = FindTagged(bytes, length, kCrcRecordTag, 12);
    if (at == nullptr)
        return 0;
    const uint8_t *v = at + 8;
    *crc = (uint32_t)v[0] | (uint32_t)v[1] << 8 | (uint32_t)v[2] << 16 | (uint32_t)v[3] << 24;
    return 1;
}

const char kMemberRecordTag[8] = {'Y', 'E', 'L', 'K', 'M', 'E', 'M', '1'};

int FindMemberRecord(const uint8_t *bytes, size_t length, char *text)
{
    const uint8_t *at = FindTagged(bytes, length, kMemberRecordTag, sizeof(MemberCheckRecord));
    if (at == nullptr)
        return 0;
    memcpy(text, at + 8, kMemberRecordText);
    text[kMemberRecordText] = '\0';
    return 1;
}

int CrcUnfit(uint32_t crc)
{
    const uint8_t bytes[4] = {(uint8_t)crc, (uint8_t)(crc >> 8), (uint8_t)(crc >> 16), (uint8_t)(crc >> 24)};
    return crc == 0 || FindMarker(bytes, 4) >= 0 || MarkerPrefixAtEnd(bytes, 4) != 0;
}
