/*
 * The expected payload CRC of setup32.exe. "payload_crc.h" is written by
 * `yelkpack pack --crc-header` and defines YELK_PAYLOAD_CRC; the installer
 * build compiles this file with that header's folder on the include path.
 * The value lives in a tagged record ("YELKCRC1" then the CRC, little-endian)
 * that `yelkpack list` and `verify` find in the executable by its tag; each
 * member's decoded size and CRC-32 in a second one ("YELKMEM1" then lowercase
 * hex text, YELK_MEMBER_CHECKS). Both are read-only data kept whole (used)
 * and read through volatile pointers, so their values are never folded into
 * the code.
 */
#include "payload/container.h"
#include "payload/crcrecord.h"
#include "payload/extract.h"

#include "payload_crc.h"

extern const ExpectedCrcRecord expectedCrcRecord;
__attribute__((used)) const ExpectedCrcRecord expectedCrcRecord = {
    {'Y', 'E', 'L', 'K', 'C', 'R', 'C', '1'},
    YELK_PAYLOAD_CRC,
};

extern const MemberCheckRecord memberCheckRecord;
__attribute__((used)) const MemberCheckRecord memberCheckRecord = {
    {'Y', 'E', 'L', 'K', 'M', 'E', 'M', '1'},
    YELK_MEMBER_CHECKS,
};

/* Asked once per run, before the payload is checked: the member checks are
   read along with the CRC. A damaged member record makes the expected CRC 0,
   which no payload matches ([10]). */
uint32_t ExpectedPayloadCrc()
{
    const volatile char *record = memberCheckRecord.text;
    char text[sizeof memberCheckRecord.text];
    for (size_t i = 0; i < sizeof text; i++)
        text[i] = record[i];
    text[sizeof text - 1] = '\0';
    return ReadMemberChecks(text) ? *(const volatile uint32_t *)&expectedCrcRecord.crc : 0;
}
