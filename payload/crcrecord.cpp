/*
 * The expected payload CRC of setup32.exe. "payload_crc.h" is written by
 * `yelkpack pack --crc-header` and defines YELK_PAYLOAD_CRC; the installer
 * build compiles this file with that header's folder on the include path.
 * The value lives in a tagged record ("YELKCRC1" then the CRC, little-endian)
 * that `yelkpack list` and `verify` find in the executable by its tag. The
 * record is read through a volatile access, so it is kept whole and never
 * folded into the code.
 */
#include "payload/container.h"
#include "payload/crcrecord.h"

#include "payload_crc.h"

extern const volatile ExpectedCrcRecord expectedCrcRecord;
const volatile ExpectedCrcRecord expectedCrcRecord = {
    {'Y', 'E', 'L', 'K', 'C', 'R', 'C', '1'},
    YELK_PAYLOAD_CRC,
};

uint32_t ExpectedPayloadCrc()
{
    return expectedCrcRecord.crc;
}
