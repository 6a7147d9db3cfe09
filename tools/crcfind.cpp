/* Finding the expected-CRC record in an executable (see crcrecord.h). */
#include "payload/crcrecord.h"

#include <cstring>

#include "payload/extract.h"
#include "tools/lzhenc_internal.h"

static_assert((int)kMemberRecordText == (int)kMemberCheckText, "the record holds the text ReadMemberChecks reads");

const char kCrcRecordTag[8] = {'Y', 'E', 'L', 'K', 'C', 'R', 'C', '1'};

int FindCrcRecord(const uint8_t *bytes, size_t length, uint32_t *crc)
{
    for (size_t i = 0; i + 12 <= length; i++) {
        if (bytes[i] == 'Y' && memcmp(bytes + i, kCrcRecordTag, 8) == 0) {
            const uint8_t *v = bytes + i + 8;
            *crc = (uint32_t)v[0] | (uint32_t)v[1] << 8 | (uint32_t)v[2] << 16 | (uint32_t)v[3] << 24;
            return 1;
        }
    }
    return 0;
}

const char kMemberRecordTag[8] = {'Y', 'E', 'L', 'K', 'M', 'E', 'M', '1'};

int FindMemberRecord(const uint8_t *bytes, size_t length, char *text)
{
    for (size_t i = 0; i + sizeof(MemberCheckRecord) <= length; i++) {
        if (bytes[i] == 'Y' && memcmp(bytes + i, kMemberRecordTag, 8) == 0) {
            memcpy(text, bytes + i + 8, kMemberRecordText);
            text[kMemberRecordText] = '\0';
            return 1;
        }
    }
    return 0;
}

int CrcUnfit(uint32_t crc)
{
    const uint8_t bytes[4] = {(uint8_t)crc, (uint8_t)(crc >> 8), (uint8_t)(crc >> 16), (uint8_t)(crc >> 24)};
    return crc == 0 || FindMarker(bytes, 4) >= 0 || MarkerPrefixAtEnd(bytes, 4) != 0;
}
