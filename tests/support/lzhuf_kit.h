/*
 * Test kit for the LZHUF decoder: writes member streams from chosen symbols
 * (walking the decoder's own adaptive tree to find each code), a plain greedy
 * parse to feed it, and a reference decode built only from the public helpers,
 * step for step as the format describes it, to hold LzhDecode against.
 */
#ifndef YELK_TESTS_SUPPORT_LZHUF_KIT_H
#define YELK_TESTS_SUPPORT_LZHUF_KIT_H

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "common/platform.h"
#include "common/posix/ui_record.h"
#include "payload/lzhuf.h"

namespace lzhkit {

/* One symbol of a member: a literal (symbol < 256) or a match (symbol 256..313
   with its distance 0..4095). */
struct Token {
    int symbol;
    int distance;
};

inline Token Lit(int byte) { return {byte, 0}; }
inline Token Match(int length, int distance) { return {length + 253, distance}; }

class BitWriter {
public:
    void Put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; i--) {
            acc_ = (uint8_t)((acc_ << 1) | ((value >> i) & 1));
            if (++n_ == 8) {
                bytes_.push_back(acc_);
                acc_ = 0;
                n_ = 0;
            }
        }
    }
    std::vector<uint8_t> Finish()
    {
        if (n_)
            bytes_.push_back((uint8_t)(acc_ << (8 - n_)));
        acc_ = 0;
        n_ = 0;
        return std::move(bytes_);
    }

private:
    std::vector<uint8_t> bytes_;
    uint8_t acc_ = 0;
    int n_ = 0;
};

/* The code of symbol in the tree as it stands: the path from the root to its
   leaf, as (bits, length). */
inline std::pair<uint32_t, int> SymbolCode(int symbol)
{
    uint32_t bits = 0;
    int length = 0;
    unsigned node = lzh.tree.node[symbol + kNodeCount].parent;
    while (node != kRootNode) {
        unsigned up = lzh.tree.node[node].parent;
        bits |= (uint32_t)(node - lzh.tree.node[up].child) << length;
        length++;
        node = up;
    }
    return {bits, length};
}

/* Member stream: size field, then the tokens, then extra bytes if asked. */
inline std::vector<uint8_t> WriteStream(uint32_t size, const std::vector<Token> &tokens,
                                        const std::vector<uint8_t> &tail = {})
{
    BitWriter w;
    StartMember();
    BuildDistanceCodes();
    for (const Token &t : tokens) {
        std::pair<uint32_t, int> code = SymbolCode(t.symbol);
        w.Put(code.first, code.second);
        UpdateTree(lzh.tree, (unsigned)t.symbol);
        if (t.symbol >= 256) {
            int high = t.distance >> 6;
            int i = 0;
            while (codeHigh[i] != high)
                i++;
            w.Put((uint32_t)i >> (8 - codeLength[i]), codeLength[i]);
            w.Put((uint32_t)t.distance & 0x3F, 6);
        }
    }
    std::vector<uint8_t> bits = w.Finish();
    std::vector<uint8_t> out = {(uint8_t)size, (uint8_t)(size >> 8), (uint8_t)(size >> 16), (uint8_t)(size >> 24)};
    for (uint8_t b : bits)
        out.push_back(b);
    for (uint8_t b : tail)
        out.push_back(b);
    return out;
}

/* Bytes the tokens stand for, from a ring of spaces (what a decoder must give). */
inline std::vector<uint8_t> Expand(const std::vector<Token> &tokens)
{
    std::vector<uint8_t> ring(kRingSize, ' '), out;
    unsigned r = kRingFirstWrite;
    for (const Token &t : tokens) {
        if (t.symbol < 256) {
            out.push_back((uint8_t)t.symbol);
            ring[r] = (uint8_t)t.symbol;
            r = (r + 1) % kRingSize;
            continue;
        }
        unsigned from = (r - t.distance - 1) % kRingSize;
        for (int k = 0; k < t.symbol - 253; k++) {
            uint8_t b = ring[(from + k) % kRingSize];
            out.push_back(b);
            ring[r] = b;
            r = (r + 1) % kRingSize;
        }
    }
    return out;
}

/* A greedy longest-match parse over hash chains; the window starts as 4036
   spaces, as the decoder's does. */
inline std::vector<Token> GreedyTokens(const uint8_t *data, size_t size, int maxChain = 64)
{
    const size_t pre = kRingFirstWrite;
    std::vector<uint8_t> buf(pre + size, ' ');
    if (size)
        memcpy(&buf[pre], data, size);
    const size_t n = buf.size();
    std::vector<int32_t> head(1 << 16, -1), prev(n, -1);
    auto hash = [&](size_t p) { return ((buf[p] << 8) ^ (buf[p + 1] << 4) ^ buf[p + 2]) & 0xFFFF; };
    auto insert = [&](size_t p) {
        if (p + 2 < n) {
            int h = hash(p);
            prev[p] = head[h];
            head[h] = (int32_t)p;
        }
    };
    for (size_t p = 0; p < pre; p++)
        insert(p);
    std::vector<Token> tokens;
    size_t p = pre;
    while (p < n) {
        size_t bestLen = 0, bestPos = 0;
        if (p + 2 < n) {
            int chain = maxChain;
            for (int32_t q = head[hash(p)]; q >= 0 && chain-- > 0; q = prev[q]) {
                if (p - (size_t)q > (size_t)kRingSize)
                    break;
                size_t len = 0, limit = std::min<size_t>(kMaxMatch, n - p);
                while (len < limit && buf[q + len] == buf[p + len])
                    len++;
                if (len > bestLen) {
                    bestLen = len;
                    bestPos = (size_t)q;
                    if (len == (size_t)kMaxMatch)
                        break;
                }
            }
        }
        if (bestLen > (size_t)kThreshold) {
            tokens.push_back(Match((int)bestLen, (int)(p - bestPos - 1)));
            for (size_t k = 0; k < bestLen; k++)
                insert(p + k);
            p += bestLen;
        } else {
            tokens.push_back(Lit(buf[p]));
            insert(p);
            p++;
        }
    }
    return tokens;
}

inline FILE *StreamFile(const std::vector<uint8_t> &bytes)
{
    FILE *f = tmpfile();
    if (!bytes.empty())
        fwrite(bytes.data(), 1, bytes.size(), f);
    rewind(f);
    return f;
}

inline std::vector<uint8_t> FileBytes(FILE *f)
{
    fflush(f);
    std::vector<uint8_t> out;
    rewind(f);
    int c;
    while ((c = getc(f)) != EOF)
        out.push_back((uint8_t)c);
    return out;
}

struct Decoded {
    int ok = 0;                                          /* LzhDecode's result */
    std::vector<uint8_t> bytes;                          /* what reached the output */
    std::vector<std::pair<uint32_t, uint32_t>> paints;   /* DrawFileProgress calls */
    int wipes = 0;                                       /* WipeFileBar calls */
    bool overran = false;                                /* (reference) a match ran past the size */
};

/* LzhDecode on stream, the per-file bar width answered as barWidth. */
inline Decoded RunLzhDecode(const std::vector<uint8_t> &stream, int barWidth)
{
    ResetRecordedUi(barWidth, 0);
    FILE *in = StreamFile(stream);
    FILE *out = tmpfile();
    Decoded d;
    d.ok = LzhDecode(in, out);
    d.bytes = FileBytes(out);
    d.paints = recordedUi.filePaints;
    d.wipes = recordedUi.wipes;
    fclose(in);
    fclose(out);
    return d;
}

/* The decode loop written plainly over ReadBit, DecodeSymbol and
   DecodeDistance, one byte at a time through the ring, with the full copy of
   a last match that runs past the size. Its paints follow the step that
   LzhDecode.PaintingStepIsTheSizeOverTheBarWidth pins down by value. ok is 0 when the symbols took bits
   from past the end of the stream (a stream cut short). */
inline Decoded ReferenceDecode(const std::vector<uint8_t> &stream, int barWidth)
{
    Decoded d;
    if (stream.size() < 4)
        return d;
    uint32_t size = stream[0] | stream[1] << 8 | stream[2] << 16 | (uint32_t)stream[3] << 24;
    if (size == 0)
        return d;
    FILE *in = StreamFile(std::vector<uint8_t>(stream.begin() + 4, stream.end()));
    StartMember();
    lzh.input = in;
    memset(lzh.ring, ' ', kRingFirstWrite);
    uint32_t step = barWidth > 0 ? size / (uint32_t)barWidth : size;
    if (step == 0)
        step = 1;
    unsigned r = kRingFirstWrite;
    uint64_t count = 0;
    while (count < size) {
        int c = DecodeSymbol();
        if (c < 256) {
            d.bytes.push_back((uint8_t)c);
            lzh.ring[r] = (uint8_t)c;
            r = (r + 1) & (kRingSize - 1);
            count++;
        } else {
            unsigned from = (r - DecodeDistance() - 1) & (kRingSize - 1);
            for (int k = 0; k < c - 253; k++) {
                uint8_t b = lzh.ring[(from + k) & (kRingSize - 1)];
                d.bytes.push_back(b);
                lzh.ring[r] = b;
                r = (r + 1) & (kRingSize - 1);
                count++;
            }
        }
        if (count % step == 0)
            d.paints.push_back({(uint32_t)count, size});
    }
    d.overran = count > size;
    d.ok = (int64_t)lzh.zerosFed * 8 > lzh.bitsHeld ? 0 : 1;
    d.wipes = d.ok;
    fclose(in);
    lzh.input = nullptr;
    return d;
}

/* What LzhDecode gives where the plain decode let a last match run past the
   size: the bytes cut at the size, and a last paint at the size instead of
   one past it. */
inline Decoded CapAtSize(Decoded plain, uint32_t size, int barWidth)
{
    if (!plain.overran)
        return plain;
    uint32_t step = barWidth > 0 ? size / (uint32_t)barWidth : size;
    if (step == 0)
        step = 1;
    plain.bytes.resize(size);
    if (!plain.paints.empty() && plain.paints.back().first > size)
        plain.paints.pop_back();
    if (size % step == 0)
        plain.paints.push_back({size, size});
    plain.overran = false;
    return plain;
}

/* LzhDecode's result against the plain decode's (capped at the size): the
   same on a whole stream; on one cut short, a failure that wrote no more
   than a start of the plain decode's bytes and paints. */
inline bool SameDecode(const Decoded &fast, const Decoded &plain)
{
    if (plain.ok)
        return fast.ok == 1 && fast.bytes == plain.bytes && fast.paints == plain.paints && fast.wipes == 1;
    return fast.ok == 0 && fast.wipes == 0 && fast.bytes.size() <= plain.bytes.size() &&
           std::equal(fast.bytes.begin(), fast.bytes.end(), plain.bytes.begin()) &&
           fast.paints.size() <= plain.paints.size() &&
           std::equal(fast.paints.begin(), fast.paints.end(), plain.paints.begin());
}

} // namespace lzhkit

#endif
