/*
 * Match search of the packer's encoder, over a view of the decoder's ring
 * (4036 spaces, then the data). Two finders give the same answers: hash
 * chains, built once and searched at any position in any order (the greedy
 * parse and the marker guard), and a binary tree that takes the positions in
 * order and bounds its work per position (the best parse).
 */
#ifndef YELK_TOOLS_LZHENC_MATCH_H
#define YELK_TOOLS_LZHENC_MATCH_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "payload/lzhmodel.h"

namespace lzhenc {

const int kPrefix = kRingFirstWrite;   /* spaces before the data in the view */
const int kWindow = kRingSize;         /* a match starts at most this far back */
const int kMinMatch = kThreshold + 1;
const int kHashBits = 16;

struct MatchCand {
    int len;
    int dist;   /* coded distance: the copy starts dist + 1 bytes back */
};

/* Hash of the three bytes at view position v; positions that start with the
   same three bytes share it. */
inline uint32_t Hash3(const uint8_t *view, size_t v)
{
    uint32_t x = (uint32_t)view[v] | (uint32_t)view[v + 1] << 8 | (uint32_t)view[v + 2] << 16;
    return (x * 2654435761u) >> (32 - kHashBits);
}

/* Hash chains over the whole view: prev[v] is how far back the last earlier
   position with the same hash lies, 0 when none lies within the window (a
   chain never needs to go further). Two bytes a position. */
class ChainFinder {
public:
    /* viewSize counts the spaces and the data; the view needs kMaxMatch
       readable bytes beyond it. */
    ChainFinder(const uint8_t *view, size_t viewSize) : view_(view), prev_(viewSize, 0)
    {
        std::vector<int64_t> head(1u << kHashBits, -1);
        for (size_t v = 0; v + kMinMatch <= viewSize; v++) {
            uint32_t h = Hash3(view, v);
            if (head[h] >= 0 && v - (size_t)head[h] <= (size_t)kWindow)
                prev_[v] = (uint16_t)(v - (size_t)head[h]);
            head[h] = (int64_t)v;
        }
    }

    /* Matches at input offset pos, shortest distance first; each entry is
       longer than the one before (so entry k is the nearest match of every
       length above entry k-1's). At most chainLimit candidates are looked at. */
    int Find(size_t pos, size_t inputEnd, int chainLimit, MatchCand *out) const
    {
        size_t v = pos + kPrefix;
        int maxLen = (int)std::min<size_t>(kMaxMatch, inputEnd - pos);
        if (maxLen < kMinMatch)
            return 0;
        int best = kMinMatch - 1, count = 0;
        for (size_t c = v; prev_[c] != 0 && v - (c - prev_[c]) <= (size_t)kWindow && chainLimit-- > 0;) {
            c -= prev_[c];
            const uint8_t *a = view_ + c, *b = view_ + v;
            if (a[best] != b[best] || a[0] != b[0])
                continue;
            int len = 0;
            while (len < maxLen && a[len] == b[len])
                len++;
            if (len > best) {
                best = len;
                out[count++] = {len, (int)(v - c - 1)};
                if (len == maxLen)
                    break;
            }
        }
        return count;
    }

    /* Every distance (nearest first) at which a match of at least len starts. */
    int Distances(size_t pos, int len, int chainLimit, int *out, int maxOut) const
    {
        size_t v = pos + kPrefix;
        int count = 0;
        for (size_t c = v; prev_[c] != 0 && v - (c - prev_[c]) <= (size_t)kWindow && chainLimit-- > 0 &&
                           count < maxOut;) {
            c -= prev_[c];
            if (memcmp(view_ + c, view_ + v, (size_t)len) == 0)
                out[count++] = (int)(v - c - 1);
        }
        return count;
    }

private:
    const uint8_t *view_;
    std::vector<uint16_t> prev_;
};

/* A binary search tree per hash over the positions of the window, ordered by
   the kMaxMatch bytes that start there, each node newer than every node below
   it (the position just added is the root). Looking a position up and adding
   it are one walk down from the root: the nodes on the way are split into
   those before it and those after it, which become its two subtrees.

   The walk meets, for every length, the nearest position that matches at
   least that long: among the positions that share a prefix with the new one
   (a run of neighbours in the order), the newest is an ancestor of every
   other, and the walk passes between them. So, without the bound, it answers
   as the hash chains do. The bound on steps keeps a position's cost fixed
   when the tree grows deep; the nodes below the cut are dropped.

   Each node keeps its two children in a ring of twice the window, indexed by
   position; a node further back than the window ends the walk, as everything
   below it is older still. */
class TreeFinder {
public:
    /* Positions from 0 up to insertEnd (view positions) are added in order. */
    TreeFinder(const uint8_t *view, size_t insertEnd, int stepLimit)
        : view_(view), insertEnd_(insertEnd), stepLimit_(stepLimit), head_(1u << kHashBits, -1),
          smaller_(kRing), larger_(kRing)
    {
    }

    /* View position the next Add takes. */
    size_t Next() const { return next_; }

    /* Adds the next position; its matches, as ChainFinder::Find gives them
       with maxLen the longest to report, go to out (count returned, out may
       be null to only add). */
    int Add(int maxLen, MatchCand *out)
    {
        size_t v = next_++;
        if (v >= insertEnd_)
            return 0;
        uint32_t h = Hash3(view_, v);
        int64_t cur = head_[h];
        head_[h] = (int64_t)v;
        int64_t *toSmaller = &smaller_[v & kRingMask];   /* where the next node before v hangs */
        int64_t *toLarger = &larger_[v & kRingMask];     /* where the next node after v hangs */
        int lenSmaller = 0, lenLarger = 0;  /* bytes v shares with the last node hung on each side */
        int best = kMinMatch - 1, count = 0;
        const uint8_t *b = view_ + v;
        for (int steps = stepLimit_;; steps--) {
            if (cur < 0 || v - (size_t)cur > (size_t)kWindow || steps == 0) {
                *toSmaller = *toLarger = -1;
                return count;
            }
            size_t slot = (size_t)cur & kRingMask;
            const uint8_t *a = view_ + cur;
            int len = std::min(lenSmaller, lenLarger);   /* every node here shares this much */
            while (len < kMaxMatch && a[len] == b[len])
                len++;
            int usable = std::min(len, maxLen);
            if (usable > best && out) {
                best = usable;
                out[count++] = {usable, (int)(v - (size_t)cur - 1)};
            }
            if (len == kMaxMatch) {
                /* Same key: v takes cur's place, and cur leaves the tree. */
                *toSmaller = smaller_[slot];
                *toLarger = larger_[slot];
                return count;
            }
            if (a[len] < b[len]) {
                *toSmaller = cur;
                toSmaller = &larger_[slot];
                cur = *toSmaller;
                lenSmaller = len;
            } else {
                *toLarger = cur;
                toLarger = &smaller_[slot];
                cur = *toLarger;
                lenLarger = len;
            }
        }
    }

private:
    static const size_t kRing = 2 * kWindow;
    static const size_t kRingMask = kRing - 1;

    const uint8_t *view_;
    size_t insertEnd_;
    int stepLimit_;
    size_t next_ = 0;
    std::vector<int64_t> head_;      /* root of each hash's tree: its newest position, -1 none */
    std::vector<int64_t> smaller_;   /* subtree of positions whose bytes sort before the node's */
    std::vector<int64_t> larger_;    /* and after */
};

}  // namespace lzhenc

#endif
