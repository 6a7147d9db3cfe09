/*
 * LZHUF encoder for the packer: produces member streams (4-byte little-endian
 * size, then the coded bits) that the installer's decoder turns back into the
 * input, and that never contain the member marker nor end with a prefix of it.
 */
#ifndef YELK_TOOLS_LZHENC_H
#define YELK_TOOLS_LZHENC_H

#include <cstddef>
#include <cstdint>
#include <vector>

enum EncodeParse {
    kParseGreedy,   /* longest match at every position (the reference) */
    kParseBest      /* the packer's best parse */
};

/* One member stream for data (size must be 1..0xFFFFFFFF). Empty when there
   is none that obeys the marker rules: the size field itself spells the
   marker, or it begins one that every possible coding of the first bytes
   completes (only sizes of 1 GiB and more can begin one). */
std::vector<uint8_t> LzhEncode(const uint8_t *data, size_t size, EncodeParse parse = kParseBest);

/* A whole payload: marker, stream 0, marker, ..., stream n-1, the marker
   twice, CR LF. The streams must obey the marker rules (LzhEncode's do). */
std::vector<uint8_t> BuildPayload(const std::vector<std::vector<uint8_t>> &streams);

#endif
