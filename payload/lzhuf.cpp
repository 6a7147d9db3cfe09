/*
 * LZHUF decoder: turns one member stream into the member's file. The public
 * helpers (ReadBit, DecodeSymbol, ...) work over the global state one call at a
 * time; LzhDecode runs the same steps with the bit reader and the output kept
 * in locals and buffers, which is where the time of an installation goes.
 */
#include "payload/lzhuf.h"

#include "payload/crc.h"

#include <cstring>

#include "common/platform.h"

/*
 * Notes on the format.
 *
 * Ring pre-fill. Encoder and decoder start from the same window: spaces at
 * positions 0 to 4035, the first byte written at 4036. A match in the first
 * 4 KiB of a member may therefore reach back into the spaces (text files start
 * with runs of them more often than not); such a copy is legal and yields
 * spaces. Positions 4036 to 4095 are not reset: an encoder never refers to
 * them before the member has written them.
 *
 * Why a copy may overlap itself. A match starts distance + 1 bytes back and
 * is copied one byte at a time, each byte stored before the next is read. A
 * match longer than its distance thus reads bytes it has just produced: "x"
 * followed by a 10-byte match at distance 0 gives eleven x. This is how runs
 * are coded, and a copy that moved the bytes as a block would get them wrong.
 */

LzhState lzh;

uint8_t codeHigh[256];
uint8_t codeLength[256];

void BuildDistanceCodes()
{
    /* How many upper values have a code of each length, 3 to 8 bits; a code
       of n bits covers 2^(8-n) of the 256 indexes, and the codes run in the
       order of their values. */
    static const uint8_t kCodesOfLength[6] = {1, 3, 8, 12, 24, 16};
    unsigned i = 0, high = 0;
    for (unsigned length = 3; length <= 8; length++)
        for (unsigned c = 0; c < kCodesOfLength[length - 3]; c++, high++)
            for (unsigned k = 0; k < 1u << (8 - length); k++, i++) {
                codeHigh[i] = (uint8_t)high;
                codeLength[i] = (uint8_t)length;
            }
}

/* The tables are built on first use: no code of 0 bits exists. */
static void NeedDistanceCodes()
{
    if (codeLength[0] == 0)
        BuildDistanceCodes();
}

/* ---- The public helpers ---- */

/* Tops bitHold up until it holds more than 8 bits, a byte at a time. A byte
   past the end of the input, or lost to a read error, counts as 0 (and is
   counted in zerosFed, so a caller can tell whether it used such bits). */
static void FillBitHold()
{
    while (lzh.bitsHeld <= 8) {
        int c = lzh.input ? getc(lzh.input) : EOF;
        if (c == EOF) {
            c = 0;
            lzh.zerosFed++;
        }
        lzh.bitHold = (uint16_t)(lzh.bitHold | (c << (8 - lzh.bitsHeld)));
        lzh.bitsHeld += 8;
    }
}

int ReadBit()
{
    FillBitHold();
    int bit = lzh.bitHold >> 15;
    lzh.bitHold = (uint16_t)(lzh.bitHold << 1);
    lzh.bitsHeld--;
    return bit;
}

int ReadByte()
{
    FillBitHold();
    int value = lzh.bitHold >> 8;
    lzh.bitHold = (uint16_t)(lzh.bitHold << 8);
    lzh.bitsHeld -= 8;
    return value;
}

void StartMember()
{
    lzh.bitHold = 0;
    lzh.bitsHeld = 0;
    lzh.zerosFed = 0;
    InitTree(lzh.tree);
}

int DecodeSymbol()
{
    unsigned n = lzh.tree.node[kRootNode].child;
    while (n < kNodeCount)
        n = lzh.tree.node[n + ReadBit()].child;
    unsigned symbol = n - kNodeCount;
    UpdateTree(lzh.tree, symbol);
    return (int)symbol;
}

int DecodeDistance()
{
    NeedDistanceCodes();
    unsigned i = (unsigned)ReadByte();
    unsigned high = (unsigned)codeHigh[i] << 6;
    int count = codeLength[i] - 2;
    while (count-- > 0)
        i = i * 2 + (unsigned)ReadBit();
    return (int)(high | (i & 0x3F));
}

/* ---- LzhDecode ---- */

enum {
    kInChunk = 1 << 14,    /* input read ahead per fread */
    kOutChunk = 1 << 16,   /* output gathered per fwrite */
    kCopySlack = 8         /* a match copy may store up to 7 bytes past its end */
};

/* The input of one member, read ahead in chunks. The input stream is the
   temporary member file, which holds this member and nothing else, so
   reading ahead takes nothing from anyone. */
static uint8_t inBuffer[kInChunk];

/* The output, linear: the 4096 bytes before outStart are the window that
   matches reach into (the ring, unrolled), then the bytes not yet written. */
static uint8_t window[kRingSize + kOutChunk + kMaxMatch + kCopySlack];
static uint8_t *const outStart = window + kRingSize;
static uint8_t *const outLimit = outStart + kOutChunk;

/* Where LzhDecode stands in inBuffer. */
static const uint8_t *inNext;   /* next unread byte */
static const uint8_t *inEnd;    /* end of the bytes read */
static FILE *inFile;            /* the member stream */
static bool inDrained;          /* the stream gave no more bytes (end or error) */
static uint32_t inZeros;        /* bytes of 0 fed to the register past the end */

/* The bit register of LzhDecode. The unread bits sit at the top, the next
   one in bit 63; below them one bit of 1 marks where they end, and below it
   every bit is 0. So the walk down the tree needs no count of its bits, a
   single test tells when fewer than 32 are left (the low 32 bits are all 0),
   and new bits go in at the marker: with x the marker bit alone, a 32-bit
   value w placed there is w times x / 2^31. An empty register is the marker
   alone, in bit 63. */
static const uint64_t kEmptyRegister = 1ull << 63;

static inline uint32_t LoadBigEndian32(const uint8_t *p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

/* Unread bits in the register (a slow count, for the rare checks). */
static int BitsHeld(uint64_t hold)
{
    int bits = 63;
    while (!(hold & 1)) {
        hold >>= 1;
        bits--;
    }
    return bits;
}

/* Puts the 32 bits of w in at the marker, which must be in bit 32 or above. */
static inline uint64_t Append32(uint64_t hold, uint32_t w)
{
    uint64_t marker = hold & (0 - hold);
    return hold - marker + w * (marker >> 31) + (marker >> 32);
}

/* The next 4 bytes of the stream as one big-endian value, near the end of
   inBuffer: reads more of the stream first, and past its end feeds bytes of
   0 for ever, counting them in inZeros. */
static uint32_t Next32Slow()
{
    if (inEnd - inNext < 4 && !inDrained) {
        size_t left = (size_t)(inEnd - inNext);
        memmove(inBuffer, inNext, left);
        size_t got = fread(inBuffer + left, 1, kInChunk - left, inFile);
        if (got == 0)
            inDrained = true;
        inNext = inBuffer;
        inEnd = inBuffer + left + got;
    }
    uint32_t w = 0;
    for (int i = 0; i < 4; i++) {
        w <<= 8;
        if (inNext < inEnd)
            w |= *inNext++;
        else
            inZeros++;
    }
    return w;
}

/* Adds 32 bits to a register holding fewer than 32. */
static inline uint64_t Refill(uint64_t hold)
{
    uint32_t w;
    if (inEnd - inNext >= 4) {
        w = LoadBigEndian32(inNext);
        inNext += 4;
    } else {
        w = Next32Slow();
    }
    return Append32(hold, w);
}

/* The register holds the unread bits of hold, and the last inZeros bytes
   put into it were made up. A complete stream holds every bit its symbols
   take, so a decoder that has gone past the real bits reads a stream cut
   short. (inZeros is below 8 at every look that passes, and the symbols of
   one output buffer take far fewer than 2^29 bytes, so 32 bits suffice.) */
static bool ReadPastEnd(uint64_t hold)
{
    return inZeros * 8 > (uint32_t)BitsHeld(hold);
}

/* Writes the gathered output up to dst and keeps its last 4096 bytes as the
   window; where the next byte goes, or nullptr when the write failed. */
static uint8_t *FlushOutput(FILE *out, uint8_t *dst)
{
    size_t n = (size_t)(dst - outStart);
    if (n && fwrite(outStart, 1, n, out) != n)
        return nullptr;
    /* The member's size and CRC are taken from the bytes as they go to the
       file, so that checking them needs no second read. */
    lzh.outSize += (uint32_t)n;
    lzh.outCrc = CrcUpdate(lzh.outCrc, outStart, n);
    memmove(window, dst - kRingSize, kRingSize);
    return outStart;
}

/* Walks the tree from the root to a leaf, one bit of hold at a time; the
   symbol of the leaf. Refills hold first when it holds fewer than 32 bits. */
static inline unsigned WalkDown(const LzhNode *node, uint64_t &hold)
{
    /* A code is at most 21 bits long (a tree of depth 22 would need counts
       summing to 46368 or more), so 32 bits are enough for the symbol. */
    if ((uint32_t)hold == 0)
        hold = Refill(hold);
    size_t n = node[kRootNode].child;
    do {
        /* The bit shifted out of the top is the carry of hold + hold: the
           step down is then an add-with-carry (5 instructions a level on
           x86, where a shift for the bit and a move made 7). */
        uint64_t twice;
        bool bit = __builtin_add_overflow(hold, hold, &twice);
        hold = twice;
        n = node[n + bit].child;
    } while (n < kNodeCount);
    return (unsigned)(n - kNodeCount);
}

/* The loop of LzhDecode: decodes symbols into dst until it reaches stop,
   and returns where it stands. A last match may run past stop (by up to 59
   bytes, and its copy may store 7 more). The register is *holdp.

   Why it goes in stretches. The root counts one more with every symbol, and
   the tree is rebuilt when a symbol has been decoded with the root at
   kMaxFreq, before it is counted (UpdateTree). Every symbol writes at least
   one byte, so within kMaxFreq - root bytes of dst no rebuild can fall due,
   and CountSymbol alone will do. Each stretch starts with a symbol decoded
   before the root is looked at. */
static uint8_t *DecodeUntil(uint8_t *dst, uint8_t *stop, uint64_t *holdp)
{
    uint64_t hold = *holdp;
    const LzhNode *const node = lzh.tree.node;
    do {
        unsigned symbol = WalkDown(node, hold);
        if (node[kRootNode].freq == kMaxFreq)
            RebuildTree(lzh.tree);
        uint32_t left = kMaxFreq - node[kRootNode].freq;
        uint8_t *limit = (size_t)(stop - dst) > left ? dst + left : stop;
        for (;;) {
            CountSymbol(lzh.tree, symbol);
            if (symbol < 256) {
                *dst++ = (uint8_t)symbol;
            } else {
                if ((hold << 16) == 0)
                    hold = Refill(hold);   /* fewer than 16 bits held */
                /* Prefix code and the 6 plain low bits in one go. */
                unsigned top = (unsigned)(hold >> 56);
                unsigned used = codeLength[top] + 6u;
                unsigned distance = ((unsigned)codeHigh[top] << 6) | ((unsigned)(hold >> (64 - used)) & 0x3F);
                hold <<= used;

                /* The copy may run past the size (a damaged stream); LzhDecode
                   takes such bytes back. */
                const uint8_t *src = dst - distance - 1;
                uint8_t *end = dst + (symbol - kMatchLengthBias);
                if (distance >= 7) {
                    /* Source at least 8 bytes back: 8 at a time is the same
                       as byte by byte. */
                    do {
                        memcpy(dst, src, 8);
                        dst += 8;
                        src += 8;
                    } while (dst < end);
                    dst = end;
                } else {
                    do
                        *dst++ = *src++;
                    while (dst < end);
                }
            }
            if (dst >= limit)
                break;
            symbol = WalkDown(node, hold);
        }
    } while (dst < stop);
    *holdp = hold;
    return dst;
}

int LzhDecode(FILE *in, FILE *out)
{
    uint32_t size = 0;
    for (int i = 0; i < 4; i++) {
        int c = getc(in);
        if (c == EOF)
            return 0;   /* a size field cut short is no member stream */
        size |= (uint32_t)c << (8 * i);
    }
    if (ferror(in) || size == 0)
        return 0;

    StartMember();
    NeedDistanceCodes();
    lzh.input = in;
    lzh.outSize = 0;
    lzh.outCrc = 0xFFFFFFFFu;
    memset(lzh.ring, ' ', kRingFirstWrite);

    /* Paint about once per pixel of the bar; without a dialog, once at the end. */
    int width = FileBarWidth();
    uint32_t step = width > 0 ? size / (uint32_t)width : size;
    if (step == 0)
        step = 1;

    /* Unroll the ring into the window: byte p of the member goes to ring
       position (4036 + p) mod 4096, so the 4096 bytes before it are ring
       positions 4036..4095, then 0..4035. */
    memcpy(window, lzh.ring + kRingFirstWrite, kRingSize - kRingFirstWrite);
    memcpy(window + (kRingSize - kRingFirstWrite), lzh.ring, kRingFirstWrite);

    inNext = inEnd = inBuffer;
    inFile = in;
    inDrained = false;
    inZeros = 0;
    uint64_t hold = kEmptyRegister;
    uint8_t *dst = outStart;
    uint32_t checkpoint = step < size ? step : size; /* next count that needs a look */
    uint32_t written = 0;                            /* bytes produced before outStart */

    for (;;) {
        /* Decode up to the next checkpoint, or to the end of the output
           buffer, then look at the count. */
        uint32_t ahead = checkpoint - written;
        dst = DecodeUntil(dst, outStart + (ahead < kOutChunk ? ahead : (uint32_t)kOutChunk), &hold);

        /* Bytes produced; a last match that ran past the size is cut back
           to it. */
        uint32_t count = size;
        if ((uint32_t)(dst - outStart) < size - written)
            count = written + (uint32_t)(dst - outStart);
        else
            dst = outStart + (size - written);
        if (count >= checkpoint) {
            if (count % step == 0)
                DrawFileProgress(nullptr, count, size);
            if (count >= size)
                break;
            uint64_t nextPaint = (uint64_t)(count / step + 1) * step;
            checkpoint = nextPaint < size ? (uint32_t)nextPaint : size;
        }
        if (dst >= outLimit) {
            /* A stream cut short would otherwise be filled up with zero bits
               to its decoded size, however large. */
            if (ReadPastEnd(hold) || !(dst = FlushOutput(out, dst)))
                return 0;
            written = count;
        }
    }
    if (ReadPastEnd(hold) || !FlushOutput(out, dst))
        return 0;

    /* Fold the window back into the ring. */
    unsigned r = (kRingFirstWrite + size) & (kRingSize - 1);
    memcpy(lzh.ring + r, window, kRingSize - r);
    memcpy(lzh.ring, window + (kRingSize - r), r);

    lzh.outCrc = ~lzh.outCrc;

    /* A read error on the member file would have turned into zero bits:
       report it rather than a damaged file. */
    if (ferror(in))
        return 0;

    WipeFileBar();
    return 1;
}
