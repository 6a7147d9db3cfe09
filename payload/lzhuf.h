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

#include "payload/lzhmodel.h"

/* The decoder's one global state: the adaptive tree, the ring and the bit
   reader of ReadBit/ReadByte. */
struct LzhState {
    LzhTree tree;                    /* the adaptive Huffman model of the member */
    uint8_t ring[kRingSize];         /* sliding dictionary: the last 4096 bytes, indexed by write position */
    uint16_t bitHold;                /* bits not yet delivered, next one in bit 15; ReadBit, ReadByte */
    int bitsHeld;                    /* valid bits in bitHold */
    uint32_t zerosFed;               /* bytes of 0 that stood in for input past its end */
    FILE *input;                     /* stream ReadBit and ReadByte draw from; set by LzhDecode (or a test) */
    uint32_t outSize;                /* bytes LzhDecode handed to its output */
    uint32_t outCrc;                 /* their CRC-32 */
};

extern LzhState lzh;

/* Upper 6 bits of a distance, and the length of its prefix code, indexed by
   the next 8 bits of the stream: built by BuildDistanceCodes (LzhDecode and
   DecodeDistance build them when they are not yet). */
extern uint8_t codeHigh[256];
extern uint8_t codeLength[256];
void BuildDistanceCodes();

/* Decodes one member stream from in into out. 1 when the whole decoded size was
   written; 0 for a size of 0, a size field cut short, a read error, a failed
   write, or a stream that ends before its coded bits do (decoding it would
   need bits past the end of in). Paints the per-file bar as it goes and wipes
   it at the end. */
int LzhDecode(FILE *in, FILE *out);

/* The decoder's parts, over its one global state (not re-entrant). */
/* Resets the bit reader and sets up the tree (InitTree) for a new member. */
void StartMember();
int ReadBit();
int ReadByte();
/* Walks lzh.tree from the root one ReadBit at a time, and counts the symbol
   it reaches (UpdateTree). */
int DecodeSymbol();
int DecodeDistance();

#endif
