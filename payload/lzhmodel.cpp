/*
 * The adaptive Huffman model's set-up and rebuild; CountSymbol and
 * UpdateTree, which run for every symbol, are inline in lzhmodel.h.
 */
#include "payload/lzhmodel.h"

void InitTree(LzhTree &tree)
{
    LzhNode *node = tree.node;
    for (int s = 0; s < kSymbolCount; s++) {
        node[s].freq = 1;
        node[s].child = (uint16_t)(s + kNodeCount);
        node[s + kNodeCount].parent = (uint16_t)s;
    }
    for (int i = 0, j = kSymbolCount; j < kNodeCount; i += 2, j++) {
        node[j].freq = node[i].freq + node[i + 1].freq;
        node[j].child = (uint16_t)i;
        node[i].parent = node[i + 1].parent = (uint16_t)j;
    }
    node[kRootNode].parent = 0;
    node[kNodeCount].freq = 0;
}

/* Why the tree is rebuilt. Counts grow by one per symbol on the whole path
   from leaf to root, so the root counts every symbol of the member. The
   format keeps counts within 16 bits, and old statistics should weigh less
   than recent ones: once the root reaches 0x8000 every leaf is halved and
   the inner nodes are formed again from the halved leaves, by decoder and
   encoder at the same symbol. */
void RebuildTree(LzhTree &tree)
{
    LzhNode *node = tree.node;

    /* The leaves, in their order, halved (which keeps them in order), moved
       to the top 314 places. */
    int leaf = kNodeCount;
    for (int i = kRootNode; i >= 0; i--) {
        if (node[i].child >= kNodeCount) {
            leaf--;
            node[leaf].freq = (node[i].freq + 1) / 2;
            node[leaf].child = node[i].child;
        }
    }

    /* Huffman's construction as a merge of two queues in order of count: the
       halved leaves, and the inner nodes, each joining the next two nodes
       placed (pair and pair + 1, so it can come only once both are), which
       come out in order of count too. On a tie the leaf goes first. The
       nodes are placed from the bottom up, and never overtake the leaves
       still to be read. */
    int pair = 0;
    for (int n = 0; n < kNodeCount; n++) {
        uint32_t joined = node[pair].freq + node[pair + 1].freq;
        if (leaf < kNodeCount && (pair + 1 >= n || node[leaf].freq <= joined)) {
            unsigned c = node[leaf].child;
            node[n].freq = node[leaf].freq;
            node[n].child = (uint16_t)c;
            node[c].parent = (uint16_t)n;
            leaf++;
        } else {
            node[n].freq = joined;
            node[n].child = (uint16_t)pair;
            node[pair].parent = node[pair + 1].parent = (uint16_t)n;
            pair += 2;
        }
    }
}
