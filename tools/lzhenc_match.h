/*
 * Match search of the packer's encoder, over a view of the decoder's ring
 * (4036 spaces, then the data). Two finders give the same answers: hash
 * chains, built once and searched at any position in any order (the marker
 * guard, where it goes back), and a binary tree that takes the positions in
 * order (both parses; for the best parse it bounds its work per position).
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

/* The decoder's ring starts with spaces at 0..4035 and its first write at
   4036; positions 4036..4095 hold whatever the last member left there, so a
   match may reach back into the spaces but never further. */
const int kPrefix = kRingFirstWrite;   /* spaces before the data in the view */
const int kWindow = kRingSize;         /* a match starts at most this far back */
const int kMinMatch = kThreshold + 1;
const int kHashBits = 16;
/* Readable bytes the view needs past its data: the finders compare up to
   kMaxMatch bytes, the tree a word at a time. */
const int kViewSlack = kMaxMatch + 8;

struct MatchCand {
    int len;
    int dist;   /* coded distance: the copy starts dist + 1 bytes back */
};

/* How many bytes a and b have in common from offset from on, up to limit:
   eight at a time where the host is little-endian. Reads up to limit bytes
   of each. */
inline int CommonLength(const uint8_t *a, const uint8_t *b, int from, int limit)
{
    int len = from;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; len + 8 <= limit; len += 8) {
        uint64_t x, y;
        memcpy(&x, a + len, 8);
        memcpy(&y, b + len, 8);
        if (x != y)
            return len + __builtin_ctzll(x ^ y) / 8;   /* the first byte that differs */
    }
#endif
    while (len < limit && a[len] == b[len])
        len++;
    return len;
}

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
    /* viewSize counts the spaces and the data; the view needs kViewSlack
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
    static constexpr int kSkipped = -1;

    /* Positions from 0 up to insertEnd (view positions, at most the end of
       the data less two) are added in order; the view needs kViewSlack
       readable bytes past its data. A walk looks at stepLimit nodes at most.
       With stepsPerPosition, walks also spend a credit that each position
       adds that much to (saved up to creditCap); while it is spent,
       positions are skipped. */
    TreeFinder(const uint8_t *view, size_t insertEnd, int stepLimit, int stepsPerPosition = 0,
               int64_t creditCap = 1 << 20)
        : view_(view), insertEnd_(insertEnd), stepLimit_(stepLimit), stepsPerPosition_(stepsPerPosition),
          creditCap_(creditCap), credit_(creditCap), head_(1u << kHashBits, -1), child_(2 * kRing)
    {
    }

    /* View position the next Add takes. */
    size_t Next() const { return next_; }

    /* Adds the next position; its matches, as ChainFinder::Find gives them
       with maxLen the longest to report, go to out (count returned, out may
       be null to only add). kSkipped when the credit is spent: the position
       is neither searched nor added. */
    int Add(int maxLen, MatchCand *out)
    {
        size_t v = next_++;
        if (v >= insertEnd_)
            return 0;
        if (stepsPerPosition_) {
            credit_ = std::min<int64_t>(credit_ + stepsPerPosition_, creditCap_);
            if (credit_ <= 0)
                return kSkipped;
        }
        uint32_t h = Hash3(view_, v);
        size_t back = head_[h] < 0 ? kWindow + 1 : v - (size_t)head_[h];   /* how far back the node is */
        head_[h] = (int64_t)v;
        /* hang[1]: where the next node that sorts before v goes; hang[0]:
           after. Either starts as one of v's own subtrees. */
        uint32_t *hang[2] = {&child_[2 * (v & kRingMask) + 1], &child_[2 * (v & kRingMask)]};
        int shared[2] = {0, 0};   /* bytes v shares with the last node hung on each side */
        int best = kMinMatch - 1, count = 0;
        const uint8_t *b = view_ + v;
        int limit = stepLimit_;
        for (int steps = limit;; steps--) {
            if (back > (size_t)kWindow || steps == 0) {
                credit_ -= limit - steps;
                *hang[0] = *hang[1] = Nowhere(v);
                return count;
            }
            size_t cur = v - back;
            uint32_t *kids = &child_[2 * (cur & kRingMask)];
            const uint8_t *a = view_ + cur;
            /* Every node here shares with v what both sides' last nodes do. */
            int before;
            int len = Compare(a, b, std::min(shared[0], shared[1]), &before);
            int usable = std::min(len, maxLen);
            if (usable > best && out) {
                best = usable;
                out[count++] = {usable, (int)(back - 1)};
            }
            if (len == kMaxMatch) {
                /* Same key: v takes cur's place, and cur leaves the tree. */
                credit_ -= limit - steps + 1;
                *hang[1] = kids[0];
                *hang[0] = kids[1];
                return count;
            }
            /* Before v: cur goes to v's smaller side and the walk on into
               cur's larger subtree; after v, the other way round. Chosen by
               index rather than by branch, as the two are equally likely. */
            *hang[before] = (uint32_t)cur;
            hang[before] = &kids[before];
            shared[before] = len;
            back = (uint32_t)((uint32_t)v - kids[before]);
        }
    }

private:
    static constexpr size_t kRing = 2 * kWindow;

    /* Bytes a and b have in common from offset from on, at most kMaxMatch
       (then the keys are equal); *before says whether a sorts before b at the
       first byte that differs. Reads up to 7 bytes past kMaxMatch. */
    static int Compare(const uint8_t *a, const uint8_t *b, int from, int *before)
    {
        int len = from;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        for (; len < kMaxMatch; len += 8) {
            uint64_t x, y;
            memcpy(&x, a + len, 8);
            memcpy(&y, b + len, 8);
            if (x != y) {
                int shift = __builtin_ctzll(x ^ y) & ~7;   /* the first byte that differs */
                len += shift / 8;
                *before = (uint8_t)(x >> shift) < (uint8_t)(y >> shift);
                return std::min(len, (int)kMaxMatch);
            }
        }
        return kMaxMatch;
#else
        while (len < kMaxMatch && a[len] == b[len])
            len++;
        *before = len < kMaxMatch && a[len] < b[len];
        return len;
#endif
    }

    static constexpr size_t kRingMask = kRing - 1;

    /* A link that, read by any later position while its node is within the
       window, lies beyond the window. */
    static uint32_t Nowhere(size_t v) { return (uint32_t)(v - kWindow - 1); }

    const uint8_t *view_;
    size_t insertEnd_;
    int stepLimit_;
    int stepsPerPosition_;
    int64_t creditCap_;
    int64_t credit_;                /* steps walks may still take */
    size_t next_ = 0;
    std::vector<int64_t> head_;     /* root of each hash's tree: its newest position, -1 none */
    /* The two subtrees of the node at each position of the ring: at 2k
       those whose bytes sort before the node's, at 2k + 1 after. A link holds
       the low 32 bits of a position; its distance back is taken mod 2^32,
       exact while the node is alive (at most 2 * kWindow positions). */
    std::vector<uint32_t> child_;
};

}  // namespace lzhenc

#endif
