/*
 * Shared helpers of the packer's tests: decoding a member stream with the
 * installer's decoder (after another member has left its mark in the ring),
 * the marker rules, seeded data, and reading sample files.
 */
#ifndef YELK_TESTS_PACK_HELPERS_H
#define YELK_TESTS_PACK_HELPERS_H

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "payload/lzhuf.h"
#include "tests/support/filebytes.h"
#include "tools/lzhenc.h"
#include "tools/lzhenc_internal.h"

namespace packtest {

using testsupport::Bytes;

using testsupport::DecodeStream;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

/* Decodes a member of non-space bytes first, so ring positions 4036..4095
   hold leftovers when the stream under test starts, as between members. */
inline bool DecodeAfterDirtyMember(const Bytes &stream, Bytes *out)
{
    Bytes dirty(5000);
    for (size_t i = 0; i < dirty.size(); i++)
        dirty[i] = (uint8_t)('a' + i % 23);
    Bytes scratch;
    if (!DecodeStream(LzhEncode(dirty.data(), dirty.size(), kParseGreedy), &scratch))
        return false;
    return DecodeStream(stream, out);
}

/* The size field at the start of a member stream. */
inline size_t MemberDecodedSizeOf(const Bytes &stream)
{
    if (stream.size() < 4)
        return 0;
    return (size_t)stream[0] | (size_t)stream[1] << 8 | (size_t)stream[2] << 16 | (size_t)stream[3] << 24;
}

inline bool HasMarker(const Bytes &b) { return FindMarker(b.data(), b.size()) >= 0; }
inline int EndsWithMarkerStart(const Bytes &b) { return MarkerPrefixAtEnd(b.data(), b.size()); }

inline Bytes RandomBytes(size_t n, uint32_t seed, int alphabet = 256)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto &x : b)
        x = (uint8_t)(rng() % (uint32_t)alphabet);
    return b;
}

inline Bytes Repeat(const std::string &unit, size_t n)
{
    Bytes b;
    while (b.size() < n)
        b.insert(b.end(), unit.begin(), unit.end());
    b.resize(n);
    return b;
}

/* The marker's text, never written out whole in the sources. */
inline std::string MarkerText() { return std::string("A") + "RNI"; }

}  // namespace packtest

#endif
