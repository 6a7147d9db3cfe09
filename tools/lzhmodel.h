/*
 * The encoder's copy of the decoder's adaptive Huffman model: the same tree,
 * updated by the same rules, so that every code the encoder writes is the one
 * the decoder walks. A value type, so the encoder can keep and restore copies.
 */
#ifndef YELK_TOOLS_LZHMODEL_H
#define YELK_TOOLS_LZHMODEL_H

#include <cstdint>

#include "payload/lzhuf.h"

struct LzhModel {
    uint16_t freq[kNodeCount + 1];          /* node frequencies; [627] is a 0xFFFF sentinel */
    uint16_t child[kNodeCount];             /* first child of an inner node; 627 + symbol for a leaf */
    uint16_t parent[kNodeCount + kSymbolCount]; /* parent of each node; [627 + s] the leaf of s */
};

/* The tree every member starts with. */
void InitModel(LzhModel *m);
/* Counts symbol once (rebuilding first when the root has reached the limit). */
void UpdateModel(LzhModel *m, int symbol);
/* Halves the leaf frequencies and rebuilds the inner nodes. */
void RebuildModel(LzhModel *m);
/* Code of symbol from the root down: *bits holds it in its low *length bits,
   the first bit to write highest. Lengths stay far below 64 (frequencies are
   limited to 0x8000). */
void SymbolCode(const LzhModel *m, int symbol, uint64_t *bits, int *length);
/* Code length of every symbol (its leaf's depth), into lengths[314]. */
void SymbolDepths(const LzhModel *m, uint8_t *lengths);

/* Prefix code of the upper 6 bits of a distance: code (in the top bits of a
   byte) and its length 3..8, the same as the decoder's codeHigh/codeLength. */
void DistanceCode(int high, int *code, int *length);

#endif
