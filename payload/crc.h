/* CRC-32 (reflected polynomial 0xEDB88320), one byte at a time through a table. */
#ifndef YELK_PAYLOAD_CRC_H
#define YELK_PAYLOAD_CRC_H

#include <cstddef>
#include <cstdint>

extern const uint32_t crcTable[256];

/* One CRC step: the register after hashing byte. */
inline uint32_t CrcStep(uint32_t reg, uint8_t byte)
{
    return crcTable[(reg ^ byte) & 0xFF] ^ (reg >> 8);
}

/* The register after hashing length bytes of data. */
uint32_t CrcUpdate(uint32_t reg, const void *data, size_t length);

/* The finished CRC-32 of a buffer (preset 0xFFFFFFFF, result complemented). */
uint32_t Crc32(const void *data, size_t length);

#endif
