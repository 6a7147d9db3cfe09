/*
 * The adaptive Huffman model's set-up and rebuild; UpdateTree, which runs for
 * every symbol, is inline in lzhmodel.h.
 */
#include "payload/lzhmodel.h"

void InitTree(LzhTree &tree)
{
    uint32_t *freq = tree.freq;
    uint16_t *child = tree.child, *parent = tree.parent;
    for (int s = 0; s < kSymbolCount; s++) {
        freq[s] = 1;
        child[s] = (uint16_t)(s + kNodeCount);
        parent[s + kNodeCount] = (uint16_t)s;
    }
    for (int i = 0, j = kSymbolCount; j < kNodeCount; i += 2, j++) {
        freq[j] = freq[i] + freq[i + 1];
        child[j] = (uint16_t)i;
        parent[i] = parent[i + 1] = (uint16_t)j;
    }
    freq[kNodeCount] = 0xFFFF;
    parent[kRootNode] = kNodeCount;
    freq[kNodeCount + 1] = 0;
}

/* Why the tree is rebuilt. Counts grow by one per symbol on the whole path
   from leaf to root, so the root counts every symbol of the member. The
   counts are 16-bit, and old statistics should weigh less than recent ones:
   once the root reaches 0x8000 every leaf is halved and the inner nodes are
   formed again from the halved leaves, by decoder and encoder at the same
   symbol. */
void RebuildTree(LzhTree &tree)
{
    uint32_t *freq = tree.freq;
    uint16_t *child = tree.child, *parent = tree.parent;

    /* The leaves, in their order, halved (which keeps them in order), moved
       to the top 314 places. */
    int leaf = kNodeCount;
    for (int i = kRootNode; i >= 0; i--) {
        if (child[i] >= kNodeCount) {
            leaf--;
            freq[leaf] = (freq[i] + 1) / 2;
            child[leaf] = child[i];
        }
    }

    /* Huffman's construction as a merge of two queues in order of count: the
       halved leaves, and the inner nodes, each joining the next two nodes
       placed (pair and pair + 1), which come out in order of count too. On
       a tie the leaf goes first. The nodes are placed from the bottom up,
       and never overtake the leaves still to be read. */
    int pair = 0;
    for (int n = 0; n < kNodeCount; n++) {
        unsigned joined = freq[pair] + freq[pair + 1];
        if (leaf < kNodeCount && (pair + 1 >= n || freq[leaf] <= joined)) {
            unsigned c = child[leaf];
            freq[n] = freq[leaf];
            child[n] = (uint16_t)c;
            parent[c] = (uint16_t)n;
            leaf++;
        } else {
            freq[n] = joined;
            child[n] = (uint16_t)pair;
            parent[pair] = parent[pair + 1] = (uint16_t)n;
            pair += 2;
        }
    }
}
