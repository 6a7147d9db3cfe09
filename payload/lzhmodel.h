/*
 * The adaptive Huffman model of LZHUF member streams: a tree over the 314
 * symbols (256 literals, 58 match lengths) whose counts follow the symbols
 * coded so far. The decoder walks it down to read a symbol and the packer's
 * encoder up to write one; both count each symbol through UpdateTree, so they
 * hold the same tree after every symbol.
 */
#ifndef YELK_PAYLOAD_LZHMODEL_H
#define YELK_PAYLOAD_LZHMODEL_H

#include <cstddef>
#include <cstdint>

enum {
    kRingSize = 4096,
    kMaxMatch = 60,
    kThreshold = 2,
    kSymbolCount = 256 + kMaxMatch - kThreshold,   /* 314 */
    kFirstMatchSymbol = 256,                       /* symbol of the shortest match */
    kMatchLengthBias = kFirstMatchSymbol - kThreshold - 1, /* 253: length = symbol - 253 */
    kNodeCount = 2 * kSymbolCount - 1,             /* 627 */
    kRootNode = kNodeCount - 1,                    /* 626 */
    kMaxFreq = 0x8000,
    kRingFirstWrite = kRingSize - kMaxMatch        /* 4036 */
};

/* Nodes are kept in order of their counts, the root last; the two children of
   an inner node sit side by side, the first at an even position, so the bit
   that leads to a node is the low bit of its position.

   Node 627 stands above the root. Its count, 0xFFFF, is more than any other
   count can reach, so every run of equal counts ends below it; and one more
   than it is more than the count after it, so the walk up from a leaf ends
   there through the same test that finds a node passing its neighbour.
   Counts are 32-bit, although they fit in 16, so that the count plus one
   never wraps (and the compiler needs no masking to compare it). */
struct LzhTree {
    uint32_t freq[kNodeCount + 2];   /* node counts, never decreasing with the index; [627] = 0xFFFF, [628] = 0 */
    uint16_t child[kNodeCount];      /* first child of an inner node (the second is next); 627 + symbol for a leaf */
    uint16_t parent[kNodeCount + kSymbolCount]; /* parent of node n at [n] (root: 627); leaf of symbol s at [627 + s] */
};

/* The tree every member starts with: every symbol counted once. */
void InitTree(LzhTree &tree);

/* Halves every leaf's count (rounding up, so none drops to 0 and loses its
   code) and forms the inner nodes again from them. */
void RebuildTree(LzhTree &tree);

/* Counts symbol once, rebuilding first when the root has reached kMaxFreq.
   A node whose count passes its right neighbour's changes places with the
   last node of the run of equal counts above it, so that freq stays in
   order; its subtree moves with it. Inline: the decoder runs it for every
   symbol. */
inline void UpdateTree(LzhTree &tree, unsigned symbol)
{
    uint32_t *freq = tree.freq;
    uint16_t *child = tree.child, *parent = tree.parent;
    if (freq[kRootNode] == kMaxFreq)
        RebuildTree(tree);
    size_t n = parent[symbol + kNodeCount];
    for (;;) {
        uint32_t k = freq[n] + 1;
        if (k <= freq[n + 1]) {
            freq[n] = k;
            n = parent[n];
            continue;
        }
        if (n == kNodeCount)
            break;   /* past the root: done */
        size_t l = n + 1;
        while (k > freq[l + 1])
            l++;
        freq[n] = freq[l];
        freq[l] = k;

        size_t a = child[n];
        parent[a] = (uint16_t)l;
        if (a < kNodeCount)
            parent[a + 1] = (uint16_t)l;
        size_t b = child[l];
        child[l] = (uint16_t)a;
        parent[b] = (uint16_t)n;
        if (b < kNodeCount)
            parent[b + 1] = (uint16_t)n;
        child[n] = (uint16_t)b;
        n = parent[l];
    }
}

#endif
