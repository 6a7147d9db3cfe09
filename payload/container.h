/*
 * The payload container inside the installer file: the integrity check over its
 * member streams and the opening of the installer file for extraction.
 */
#ifndef YELK_PAYLOAD_CONTAINER_H
#define YELK_PAYLOAD_CONTAINER_H

#include <cstdint>

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
