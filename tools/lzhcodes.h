/*
 * The encoder's reading of the adaptive Huffman model (payload/lzhmodel.h):
 * the code of a symbol, from its leaf up, the code lengths and counts of all
 * symbols; and the fixed prefix code of a distance's upper bits.
 */
#ifndef YELK_TOOLS_LZHCODES_H
#define YELK_TOOLS_LZHCODES_H

#include <cstdint>

#include "payload/lzhmodel.h"

/* Code of symbol from the root down: *bits holds it in its low *length bits,
   the first bit to write highest. Lengths stay far below 64 (counts are
   limited to 0x8000). */
void SymbolCode(const LzhTree &tree, int symbol, uint64_t *bits, int *length);
/* Code length of every symbol (its leaf's depth), into lengths[314]. */
void SymbolDepths(const LzhTree &tree, uint8_t *lengths);
/* Count of every symbol, into counts[314]; returns their sum (the root's). */
unsigned SymbolCounts(const LzhTree &tree, uint16_t *counts);

/* Prefix code of the upper 6 bits of a distance: code (in the top bits of a
   byte) and its length 3..8, the same as the decoder's codeHigh/codeLength. */
void DistanceCode(int high, int *code, int *length);

#endif
