/*
 * The encoder's adaptive Huffman model. It follows the decoder step by step:
 * leaves start at frequency 1, a count that makes a node heavier than the one
 * above it moves the node up past every lighter one, and when the root reaches
 * 0x8000 the leaf counts are halved and the inner nodes are rebuilt in order.
 */
#include "lzhmodel.h"

#include <cstring>

void InitModel(LzhModel *m)
{
    for (int s = 0; s < kSymbolCount; s++) {
        m->freq[s] = 1;
        m->child[s] = (uint16_t)(s + kNodeCount);
        m->parent[s + kNodeCount] = (uint16_t)s;
    }
    int i = 0;
    for (int j = kSymbolCount; j < kNodeCount; j++) {
        m->freq[j] = (uint16_t)(m->freq[i] + m->freq[i + 1]);
        m->child[j] = (uint16_t)i;
        m->parent[i] = m->parent[i + 1] = (uint16_t)j;
        i += 2;
    }
    m->freq[kNodeCount] = 0xFFFF;
    m->parent[kRootNode] = 0;
}

void RebuildModel(LzhModel *m)
{
    /* Leaves first, in their order, with halved counts (rounded up). */
    int j = 0;
    for (int i = 0; i < kNodeCount; i++) {
        if (m->child[i] >= kNodeCount) {
            m->freq[j] = (uint16_t)((m->freq[i] + 1) / 2);
            m->child[j] = m->child[i];
            j++;
        }
    }
    /* Inner nodes: each pair's sum goes after every entry not greater than it. */
    int i = 0;
    for (j = kSymbolCount; j < kNodeCount; j++) {
        unsigned f = (unsigned)m->freq[i] + m->freq[i + 1];
        int k = j - 1;
        while (f < m->freq[k])
            k--;
        k++;
        memmove(&m->freq[k + 1], &m->freq[k], (size_t)(j - k) * sizeof m->freq[0]);
        memmove(&m->child[k + 1], &m->child[k], (size_t)(j - k) * sizeof m->child[0]);
        m->freq[k] = (uint16_t)f;
        m->child[k] = (uint16_t)i;
        i += 2;
    }
    for (i = 0; i < kNodeCount; i++) {
        int k = m->child[i];
        if (k >= kNodeCount)
            m->parent[k] = (uint16_t)i;
        else
            m->parent[k] = m->parent[k + 1] = (uint16_t)i;
    }
}

void UpdateModel(LzhModel *m, int symbol)
{
    if (m->freq[kRootNode] == kMaxFreq)
        RebuildModel(m);
    int n = m->parent[symbol + kNodeCount];
    do {
        uint16_t k = (uint16_t)(m->freq[n] + 1);
        m->freq[n] = k;
        if (k > m->freq[n + 1]) {
            int l = n + 1;
            while (k > m->freq[l + 1])
                l++;
            m->freq[n] = m->freq[l];
            m->freq[l] = k;

            int a = m->child[n];
            m->parent[a] = (uint16_t)l;
            if (a < kNodeCount)
                m->parent[a + 1] = (uint16_t)l;
            int b = m->child[l];
            m->child[l] = (uint16_t)a;
            m->parent[b] = (uint16_t)n;
            if (b < kNodeCount)
                m->parent[b + 1] = (uint16_t)n;
            m->child[n] = (uint16_t)b;
            n = l;
        }
        n = m->parent[n];
    } while (n != 0);
}

/* Siblings sit at an even position and the one after it, so the bit that
   leads to a node is the low bit of its position. */
void SymbolCode(const LzhModel *m, int symbol, uint64_t *bits, int *length)
{
    uint64_t code = 0;
    int len = 0;
    int k = m->parent[symbol + kNodeCount];
    while (k != kRootNode) {
        code |= (uint64_t)(k & 1) << len;
        len++;
        k = m->parent[k];
    }
    *bits = code;
    *length = len;
}

void SymbolDepths(const LzhModel *m, uint8_t *lengths)
{
    /* Depth of every node from the root down: parents sit above their children. */
    uint8_t depth[kNodeCount];
    depth[kRootNode] = 0;
    for (int n = kRootNode; n >= 0; n--) {
        int c = m->child[n];
        if (c >= kNodeCount) {
            lengths[c - kNodeCount] = depth[n];
        } else {
            depth[c] = depth[c + 1] = (uint8_t)(depth[n] + 1);
        }
    }
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
