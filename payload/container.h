/*
 * The payload container inside the installer file: the integrity check over its
 * member streams and the opening of the installer file for extraction.
 */
#ifndef YELK_PAYLOAD_CONTAINER_H
#define YELK_PAYLOAD_CONTAINER_H

#include <cstddef>
#include <cstdint>

#include "payload/marker.h"

/* Where a walk over the installer file stands relative to the payload. */
enum PayloadPart {
    kBeforePayload,        /* no marker seen yet: nothing is hashed */
    kAfterMarker,          /* a marker just ended; a second one ends the payload */
    kInMember,             /* inside a member stream */
    kPayloadEnded          /* the terminating pair has been read */
};

/* A walk over the installer file from its first byte, block by block. */
struct PayloadWalk {
    MarkerMatcher matcher; /* the marker, and a match carried across blocks */
    PayloadPart part;      /* where the walk stands */
    uint32_t crc;          /* CRC-32 register over the member bytes so far */
};

PayloadWalk StartPayloadWalk(const uint8_t *marker);

/* Walks data[0..size) up to and including the next marker, or to its end:
   hashes the member bytes and follows the payload's parts. What the matcher
   found is returned; run.consumed bytes were taken. */
MarkerRun WalkPayload(PayloadWalk &w, const uint8_t *data, size_t size);

/* CRC-32 of the member streams of the installer file at path (markers and
   everything outside the payload left out); 0 when the file cannot be opened
   or a read fails. Matches session.marker, which must already be built. */
uint32_t PayloadCrc(const char *path);

/* Checks the installer's own file against ExpectedPayloadCrc() and opens it as
   session.setupStream at offset 0. 1 on success; 0 after error [2], [10] or [9]. */
int OpenPayload();

/* The CRC the payload must have. Supplied by each program: the installer from
   the value the packer generated, the tools and tests from their own setting. */
uint32_t ExpectedPayloadCrc();

#endif
