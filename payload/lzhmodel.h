/*
 * The adaptive Huffman model of LZHUF member streams: a tree over the 314
 * symbols (256 literals, 58 match lengths) whose counts follow the symbols
 * coded so far. The decoder walks it down to read a symbol and the packer's
 * encoder up to write one; both count each symbol as UpdateTree does, so
 * they hold the same tree after every symbol.
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

/* One node of the tree, its fields side by side so that a step up or down
   is one indexed access from one base. The count is 32-bit, although it
   never passes 0x8000, so that the walk up adds one and compares without
   narrowing to 16 bits (which cost the decoder a tenth of its
   instructions). */
struct LzhNode {
    uint32_t freq;     /* count: the sum of the children's, or the leaf's symbol count */
    uint16_t parent;   /* node above (the root's is 0 and never read) */
    uint16_t child;    /* first child of an inner node (the second is next); 627 + symbol for a leaf */
};

/* Nodes are kept in order of their counts, the root last; the two children of
   an inner node sit side by side, the first at an even position, so the bit
   that leads to a node is the low bit of its position. The root counts more
   than any other node, so every run of equal counts ends below it; node[627]
   counts 0, so that the root is the one node that always passes its right
   neighbour. node[627 + s].parent is the leaf of symbol s. */
struct LzhTree {
    LzhNode node[kNodeCount + kSymbolCount];
};

/* The tree every member starts with: every symbol counted once. */
void InitTree(LzhTree &tree);

/* Halves every leaf's count (rounding up, so none drops to 0 and loses its
   code) and forms the inner nodes again from them. */
void RebuildTree(LzhTree &tree);

/* Counts symbol once; the root's count must be below kMaxFreq. A node whose
   count passes its right neighbour's changes places with the last node of
   the run of equal counts above it, so that the counts stay in order; its
   subtree moves with it. The walk up ends at the root, the one node that
   always passes its neighbour. Inline: the decoder runs it for every
   symbol. */
inline void CountSymbol(LzhTree &tree, unsigned symbol)
{
    LzhNode *node = tree.node;
    size_t n = node[symbol + kNodeCount].parent;
    for (;;) {
        uint32_t k = node[n].freq + 1;
        /* Most steps keep the order (marked as expected, this is the
           straight path: 7 instructions a step on x86-64 instead of 8). */
        if (__builtin_expect(k <= node[n + 1].freq, 1)) {
            node[n].freq = k;
            n = node[n].parent;
            continue;
        }
        if (n == kRootNode) {
            node[n].freq = k;
            break;
        }
        /* The run ends below the root, whose count is more than any other. */
        size_t l = n + 1;
        while (k > node[l + 1].freq)
            l++;
        node[n].freq = node[l].freq;
        node[l].freq = k;

        size_t a = node[n].child;
        node[a].parent = (uint16_t)l;
        if (a < kNodeCount)
            node[a + 1].parent = (uint16_t)l;
        size_t b = node[l].child;
        node[l].child = (uint16_t)a;
        node[b].parent = (uint16_t)n;
        if (b < kNodeCount)
            node[b + 1].parent = (uint16_t)n;
        node[n].child = (uint16_t)b;
        n = node[l].parent;
    }
}

/* Counts symbol once, rebuilding first when the root has reached
   kMaxFreq. */
inline void UpdateTree(LzhTree &tree, unsigned symbol)
{
    if (tree.node[kRootNode].freq == kMaxFreq)
        RebuildTree(tree);
    CountSymbol(tree, symbol);
}

#endif
