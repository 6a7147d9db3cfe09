/*
 * CRC-32 (reflected polynomial 0xEDB88320, preset 0xFFFFFFFF, result
 * complemented), eight bytes per step through eight tables that are computed
 * at first use rather than stored in the program.
 */
#ifndef YELK_PAYLOAD_CRC_H
#define YELK_PAYLOAD_CRC_H

#include <cstddef>
#include <cstdint>

/* The register after hashing length bytes of data; the register starts at
   0xFFFFFFFF and the CRC is its complement. */
uint32_t CrcUpdate(uint32_t reg, const void *data, size_t length);

/* The finished CRC-32 of a buffer. */
uint32_t Crc32(const void *data, size_t length);

#endif
