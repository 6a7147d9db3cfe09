/* CRC-32 over buffers, eight bytes at a time (crc.h). */
#include "payload/crc.h"

/*
 * Slicing by eight. crcTables[0] is the classic table: the register after
 * hashing one byte into a register of 0. crcTables[k][b] is the same for byte
 * b followed by k zero bytes, so eight bytes XORed into the register's low
 * end (the first four) and standing after it (the other four) are hashed by
 * eight independent lookups instead of eight dependent ones.
 */
static uint32_t crcTables[8][256];
static bool tablesBuilt;

static void BuildCrcTables()
{
    for (uint32_t b = 0; b < 256; b++) {
        uint32_t reg = b;
        for (int bit = 0; bit < 8; bit++)
            reg = (reg >> 1) ^ (0xEDB88320u & (0u - (reg & 1)));
        crcTables[0][b] = reg;
    }
    for (int k = 1; k < 8; k++)
        for (int b = 0; b < 256; b++) {
            uint32_t previous = crcTables[k - 1][b];
            crcTables[k][b] = (previous >> 8) ^ crcTables[0][previous & 0xFF];
        }
    tablesBuilt = true;
}

/* Four bytes as a little-endian word, whatever the machine's order. */
static inline uint32_t LoadLittle32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

uint32_t CrcUpdate(uint32_t reg, const void *data, size_t length)
{
    if (!tablesBuilt)
        BuildCrcTables();
    const uint8_t *p = static_cast<const uint8_t *>(data);
    const uint32_t (*t)[256] = crcTables;
    for (; length >= 8; p += 8, length -= 8) {
        uint32_t low = LoadLittle32(p) ^ reg;
        uint32_t high = LoadLittle32(p + 4);
        reg = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
              t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^ t[0][high >> 24];
    }
    for (; length > 0; p++, length--)
        reg = t[0][(reg ^ *p) & 0xFF] ^ (reg >> 8);
    return reg;
}

uint32_t Crc32(const void *data, size_t length)
{
    return ~CrcUpdate(0xFFFFFFFFu, data, length);
}
