/*
 * Codes read off the adaptive Huffman model for the encoder, and the
 * distance prefix code.
 */
#include "tools/lzhcodes.h"

/* Siblings sit at an even position and the one after it, so the bit that
   leads to a node is the low bit of its position. */
void SymbolCode(const LzhTree &tree, int symbol, uint64_t *bits, int *length)
{
    uint64_t code = 0;
    int len = 0;
    int k = tree.node[symbol + kNodeCount].parent;
    while (k != kRootNode) {
        code |= (uint64_t)(k & 1) << len;
        len++;
        k = tree.node[k].parent;
    }
    *bits = code;
    *length = len;
}

void SymbolDepths(const LzhTree &tree, uint8_t *lengths)
{
    /* Depth of every node from the root down: parents sit above their children. */
    uint8_t depth[kNodeCount];
    depth[kRootNode] = 0;
    for (int n = kRootNode; n >= 0; n--) {
        int c = tree.node[n].child;
        if (c >= kNodeCount) {
            lengths[c - kNodeCount] = depth[n];
        } else {
            depth[c] = depth[c + 1] = (uint8_t)(depth[n] + 1);
        }
    }
}

unsigned SymbolCounts(const LzhTree &tree, uint16_t *counts)
{
    for (int s = 0; s < kSymbolCount; s++)
        counts[s] = (uint16_t)tree.node[tree.node[s + kNodeCount].parent].freq;
    return tree.node[kRootNode].freq;
}

/* The high parts 0..63 take prefix codes of 3 to 8 bits, shortest first:
   1 code of 3 bits per 32 table entries, and so on down the table. */
void DistanceCode(int high, int *code, int *length)
{
    static const struct { int firstHigh, count, bits; } groups[] = {
        {0, 1, 3}, {1, 3, 4}, {4, 8, 5}, {12, 12, 6}, {24, 24, 7}, {48, 16, 8},
    };
    int entry = 0;   /* first table entry of the group */
    for (const auto &g : groups) {
        int span = 256 >> g.bits;   /* table entries per code */
        if (high < g.firstHigh + g.count) {
            *code = entry + (high - g.firstHigh) * span;
            *length = g.bits;
            return;
        }
        entry += g.count * span;
    }
    *code = 255;
    *length = 8;
}
