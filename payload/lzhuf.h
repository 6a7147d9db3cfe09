/*
 * LZHUF decoder: LZSS over a 4096-byte ring, literals and lengths in an adaptive
 * Huffman code, distances as a fixed prefix code for the upper 6 bits plus 6
 * plain bits. A member stream is a 4-byte little-endian decoded size followed
 * by the coded bits, most significant bit first.
 */
#ifndef YELK_PAYLOAD_LZHUF_H
#define YELK_PAYLOAD_LZHUF_H

#include <cstdint>
#include <cstdio>

enum {
    kRingSize = 4096,
    kMaxMatch = 60,
    kThreshold = 2,
    kSymbolCount = 256 + kMaxMatch - kThreshold,   /* 314 */
    kNodeCount = 2 * kSymbolCount - 1,             /* 627 */
    kRootNode = kNodeCount - 1,                    /* 626 */
    kMaxFreq = 0x8000,
    kRingFirstWrite = kRingSize - kMaxMatch        /* 4036 */
};

/* Upper 6 bits of a distance, and the length of its prefix code, indexed by
   the next 8 bits of the stream. */
extern const uint8_t codeHigh[256];
extern const uint8_t codeLength[256];

/* Decodes one member stream from in into out. 1 when the whole decoded size was
   written; 0 for a size of 0, a read error on the size, or a failed write.
   Paints the per-file bar as it goes and wipes it at the end. */
int LzhDecode(FILE *in, FILE *out);

/* The decoder's parts, over its one global state (not re-entrant). */
void InitTree();
int ReadBit();
int ReadByte();
int DecodeSymbol();
int DecodeDistance();
void UpdateTree(int symbol);
void RebuildTree();

#endif
