/*
 * The adaptive Huffman model's set-up and rebuild; UpdateTree, which runs for
 * every symbol, is inline in lzhmodel.h.
 */
#include "payload/lzhmodel.h"

#include <cstring>

void InitTree(LzhTree &tree)
{
    uint16_t *freq = tree.freq, *child = tree.child, *parent = tree.parent;
    for (int s = 0; s < kSymbolCount; s++) {
        freq[s] = 1;
        child[s] = (uint16_t)(s + kNodeCount);
        parent[s + kNodeCount] = (uint16_t)s;
    }
    for (int i = 0, j = kSymbolCount; j < kNodeCount; i += 2, j++) {
        freq[j] = (uint16_t)(freq[i] + freq[i + 1]);
        child[j] = (uint16_t)i;
        parent[i] = parent[i + 1] = (uint16_t)j;
    }
    freq[kNodeCount] = 0xFFFF;
    parent[kRootNode] = 0;
}

/* Why the tree is rebuilt. Counts grow by one per symbol on the whole path
   from leaf to root, so the root counts every symbol of the member. The
   counts are 16-bit, and old statistics should weigh less than recent ones:
   once the root reaches 0x8000 every leaf is halved and the inner nodes are
   formed again from the halved leaves, by decoder and encoder at the same
   symbol. */
void RebuildTree(LzhTree &tree)
{
    uint16_t *freq = tree.freq, *child = tree.child, *parent = tree.parent;

    /* The leaves, in their order, halved. */
    int j = 0;
    for (int i = 0; i < kNodeCount; i++) {
        if (child[i] >= kNodeCount) {
            freq[j] = (uint16_t)((freq[i] + 1) / 2);
            child[j] = child[i];
            j++;
        }
    }
    /* Each new inner node joins the next two nodes and goes in after every
       node not heavier than it, which keeps freq in order. */
    for (int i = 0; j < kNodeCount; i += 2, j++) {
        unsigned f = freq[i] + freq[i + 1];
        int k = j - 1;
        while (f < freq[k])
            k--;
        k++;
        memmove(&freq[k + 1], &freq[k], (size_t)(j - k) * sizeof freq[0]);
        memmove(&child[k + 1], &child[k], (size_t)(j - k) * sizeof child[0]);
        freq[k] = (uint16_t)f;
        child[k] = (uint16_t)i;
    }
    for (int i = 0; i < kNodeCount; i++) {
        unsigned k = child[i];
        parent[k] = (uint16_t)i;
        if (k < kNodeCount)
            parent[k + 1] = (uint16_t)i;
    }
}
