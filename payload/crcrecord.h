/*
 * The tagged record that carries the expected payload CRC inside setup32.exe:
 * the eight bytes "YELKCRC1" and the CRC, little-endian, right after them. The
 * tools find it by the tag, so they need no symbols.
 */
#ifndef YELK_PAYLOAD_CRCRECORD_H
#define YELK_PAYLOAD_CRCRECORD_H

#include <cstddef>
#include <cstdint>

struct ExpectedCrcRecord {
    char tag[8];      /* "YELKCRC1", no terminator */
    uint32_t crc;     /* the payload's CRC-32 */
};

/* The second record, beside the first: "YELKMEM1", then each member's
   decoded size and CRC-32 as sixteen lowercase hex digits (the text that
   ReadMemberChecks reads, extract.h), then a terminator. Neither the tag nor
   the digits hold an "A". */
enum { kMemberRecordText = 160 };
struct MemberCheckRecord {
    char tag[8];                          /* "YELKMEM1", no terminator */
    char text[kMemberRecordText + 1];     /* the checks, zero-terminated */
};
extern const char kMemberRecordTag[8];

/* Finds the first member record in bytes; 1 and its text (terminated) in
   text, kMemberRecordText + 1 bytes, when there is one. */
int FindMemberRecord(const uint8_t *bytes, size_t length, char *text);

/* The record's tag. It holds no "A", so it can neither form the member
   marker nor hide one that follows it. */
extern const char kCrcRecordTag[8];

/* Finds the first record in bytes; 1 and its CRC in *crc when there is one. */
int FindCrcRecord(const uint8_t *bytes, size_t length, uint32_t *crc);

/* 1 when crc cannot serve as the expected value: 0 (the installer takes a
   CRC of 0 for a read failure), or bytes that would put the member marker, or
   a first part of it, into the record. The packer then lengthens the payload. */
int CrcUnfit(uint32_t crc);

#endif
