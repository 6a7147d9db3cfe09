/*
 * LZHUF encoder of the packer. The input is matched against a view of the
 * decoder's ring (lzhenc_match.h), parsed greedily or by cost, and
 * coded with the same adaptive tree the decoder keeps. A guard watches every
 * finished byte: when the stream would contain the member marker, it goes back
 * and codes another token there (a shorter match, another distance, a literal).
 */
#include "tools/lzhenc.h"
#include "tools/lzhenc_internal.h"
#include "tools/lzhcodes.h"
#include "tools/lzhenc_match.h"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <deque>
#include <memory>

const uint8_t *MarkerBytes()
{
    static char marker[kMarkerLength + 1];
    if (marker[0] == '\0')
        BuildMarker(marker);
    return reinterpret_cast<const uint8_t *>(marker);
}

long FindMarker(const uint8_t *bytes, size_t length)
{
    for (size_t i = 0; i + kMarkerLength <= length; i++)
        if (memcmp(bytes + i, MarkerBytes(), kMarkerLength) == 0)
            return (long)i;
    return -1;
}

int MarkerPrefixAtEnd(const uint8_t *bytes, size_t length)
{
    for (int k = 3; k >= 1; k--)
        if (length >= (size_t)k && memcmp(bytes + length - k, MarkerBytes(), k) == 0)
            return k;
    return 0;
}

namespace {

using namespace lzhenc;

const uint32_t kCostUnit = 16;  /* costs are counted in 1/16 bit */

struct Token {
    uint32_t pos;    /* input offset of its first byte */
    uint8_t len;     /* 1 for a literal, else 3..60 */
    uint16_t dist;   /* coded distance: the copy starts dist + 1 bytes back */
};

/* Everything that changes while tokens are coded, so it can be kept and put
   back: the model and the end of the output. */
struct CoderState {
    LzhTree model;
    size_t outSize;
    uint64_t hold;    /* bits not yet forming a byte, lowest bits */
    int held;         /* how many (0..7) */
    size_t pos;       /* input offset of the next token */
    size_t tokens;    /* tokens coded so far */
    size_t matches;   /* of which matches */
};

class Encoder {
public:
    Encoder(const uint8_t *data, size_t size, const EncodeOptions &opt);
    bool Run(std::vector<uint8_t> *out);

private:
    /* Coding */
    void PutBits(uint64_t bits, int count);
    void Code(const Token &t);
    bool CodeChecked(const Token &t);
    bool MarkerEndsAt(size_t k) const;
    /* Parsing */
    Token NextToken(size_t pos);
    Token GreedyToken(size_t pos);
    const ChainFinder &Chains();
    void PlanBlock(size_t start);
    std::vector<Token> CheapestPath(size_t start, size_t span, const uint32_t *symCost, int64_t *credit) const;
    uint64_t PathBits(const std::vector<Token> &path, uint32_t *symCost) const;
    void FindMatchesTo(size_t start, size_t end);
    /* The guard */
    void Snapshot();
    void RestoreTo(size_t tokenIndex);
    bool Recover();
    std::vector<Token> Alternatives(const Token &orig);
    bool Finish();

    const uint8_t *data_;
    size_t size_;
    EncodeOptions opt_;
    EncodeStats stats_;
    std::vector<uint8_t> view_;
    std::unique_ptr<ChainFinder> chains_;  /* made when first needed */
    TreeFinder *tree_ = nullptr;       /* the best parse's search, ahead of the plan */

    /* Matches of the offsets the plan may still cost, as the tree found them:
       those of offset matchBase_ + k are matchList_[matchFirst_[k]] up to the
       next offset's first. */
    size_t matchBase_ = 0;
    std::vector<uint32_t> matchFirst_;
    std::vector<MatchCand> matchList_;

    CoderState st_;
    std::vector<uint8_t> out_;
    size_t checked_ = 0;               /* bytes of out_ already checked */
    std::deque<Token> history_;        /* tokens coded since the oldest snapshot */
    size_t historyBase_ = 0;           /* token index of history_[0] */
    std::deque<CoderState> snapshots_; /* states at every kSnapshotEvery-th token */

    /* The plan, in a ring indexed by offset: it reaches from the oldest
       snapshot (the guard goes back no further) to plannedTo_. */
    std::vector<uint8_t> planLen_;     /* token planned at an offset (0: none) */
    std::vector<uint16_t> planDist_;
    size_t planMask_ = 0;
    size_t plannedTo_ = 0;             /* offsets below this were planned */
    int64_t relaxCredit_ = kLengthCreditCap; /* lengths the cheapest path may still try */
    uint64_t replayBudget_ = 0;        /* tokens the guard may still code again */

    static constexpr size_t kSnapshotEvery = 32;
    static constexpr size_t kSnapshotsKept = 512;
    static constexpr int kGreedyChain = 4096;  /* the whole window */
    /* Bounds on the best parse's work, so that no input costs much more per
       byte than real files do. Real data keeps inside the credits (the
       real-shaped client files take 4.6 tree steps and 9 lengths an offset on
       average, more for stretches the saved credit covers); inputs made of
       long runs of few letters want up to 23 steps and 112 lengths, and are
       held to the credit as it is earned. */
    static constexpr int kTreeSteps = 256;       /* nodes one tree walk looks at, at most */
    static constexpr int kStepsPerOffset = 8;    /* tree steps earned per offset (saved up to 2^20) */
    static constexpr int kLengthsPerOffset = 24; /* match lengths the cheapest path tries, per offset */
    static constexpr int64_t kLengthCreditCap = 1 << 16; /* lengths saved up at most */
    static constexpr size_t kPlanBlock = 4096; /* offsets costed at once */
    static constexpr size_t kPlanCommit = 2048; /* of which kept before costing again */
    static constexpr size_t kPlanRing = 1u << 20;
    static_assert(kSnapshotsKept * kSnapshotEvery * kMaxMatch + kPlanBlock < kPlanRing,
                  "the plan ring must reach back to the oldest snapshot");
};

Encoder::Encoder(const uint8_t *data, size_t size, const EncodeOptions &opt) : data_(data), size_(size), opt_(opt)
{
    view_.assign(kPrefix, ' ');
    view_.insert(view_.end(), data, data + size);
    view_.resize(view_.size() + kViewSlack, 0);
    if (opt_.planLen || opt_.parse == kParseBest) {
        size_t ring = 1;
        while (ring < size + 1 && (ring < kPlanRing || opt_.planLen))
            ring *= 2;
        planLen_.assign(ring, 0);
        planDist_.assign(ring, 0);
        planMask_ = ring - 1;
    }
    if (opt_.planLen) {
        std::copy(opt_.planLen, opt_.planLen + size, planLen_.begin());
        std::copy(opt_.planDist, opt_.planDist + size, planDist_.begin());
        plannedTo_ = size;
        opt_.parse = kParseBest;
    }
    replayBudget_ = 64 * (uint64_t)size + 1000000;
}

void Encoder::PutBits(uint64_t bits, int count)
{
    while (count > 0) {
        int take = std::min(count, 32);
        count -= take;
        st_.hold = (st_.hold << take) | ((bits >> count) & ((1ull << take) - 1));
        st_.held += take;
        while (st_.held >= 8) {
            st_.held -= 8;
            out_.push_back((uint8_t)(st_.hold >> st_.held));
        }
        st_.hold &= (1ull << st_.held) - 1;
    }
}

void Encoder::Code(const Token &t)
{
    int symbol = t.len == 1 ? data_[t.pos] : t.len + kMatchLengthBias;
    uint64_t bits;
    int length;
    SymbolCode(st_.model, symbol, &bits, &length);
    PutBits(bits, length);
    UpdateTree(st_.model, (unsigned)symbol);
    if (t.len > 1) {
        int code, codeLen;
        DistanceCode(t.dist >> 6, &code, &codeLen);
        PutBits((uint64_t)code >> (8 - codeLen), codeLen);
        PutBits(t.dist & 0x3F, 6);
    }
    st_.pos += t.len;
    st_.tokens++;
    st_.matches += t.len > 1;
    history_.push_back(t);
}

bool Encoder::MarkerEndsAt(size_t k) const
{
    return k >= 3 && memcmp(&out_[k - 3], MarkerBytes(), kMarkerLength) == 0;
}

/* Codes t; false when a byte it finished completes the marker. */
bool Encoder::CodeChecked(const Token &t)
{
    Code(t);
    if (!opt_.avoidMarker) {
        checked_ = out_.size();
        return true;
    }
    for (; checked_ < out_.size(); checked_++)
        if (MarkerEndsAt(checked_))
            return false;
    return true;
}

const ChainFinder &Encoder::Chains()
{
    if (!chains_)
        chains_.reset(new ChainFinder(view_.data(), kPrefix + size_));
    return *chains_;
}

/* The longest match at pos, the nearest of that length. The greedy parse
   asks the tree, which it keeps level with the coder (its walk is never cut,
   so it answers as the chains do); where the guard went back, and in the
   best parse, the chains answer. */
Token Encoder::GreedyToken(size_t pos)
{
    MatchCand m[kMaxMatch];
    int n;
    if (opt_.parse == kParseGreedy && kPrefix + pos >= tree_->Next()) {
        while (tree_->Next() < kPrefix + pos)
            tree_->Add(0, nullptr);
        n = tree_->Add((int)std::min<size_t>(kMaxMatch, size_ - pos), m);
    } else {
        n = Chains().Find(pos, size_, kGreedyChain, m);
    }
    if (n == 0)
        return {(uint32_t)pos, 1, 0};
    return {(uint32_t)pos, (uint8_t)m[n - 1].len, (uint16_t)m[n - 1].dist};
}

Token Encoder::NextToken(size_t pos)
{
    if (opt_.parse == kParseGreedy)
        return GreedyToken(pos);
    if (pos >= plannedTo_)
        PlanBlock(pos);
    size_t at = pos & planMask_;
    if (planLen_[at])
        return {(uint32_t)pos, planLen_[at], planDist_[at]};
    return GreedyToken(pos);  /* the guard left the plan; rejoin it when it can */
}

/* Price of every symbol in 1/kCostUnit bits: the mean of its code length now
   and the length its share of the counts suggests, which looks a little ahead
   of the adaptive code. */
static void SymbolCosts(const LzhTree &m, uint32_t *cost)
{
    uint8_t depth[kSymbolCount];
    uint16_t count[kSymbolCount];
    SymbolDepths(m, depth);
    double total = SymbolCounts(m, count);
    for (int s = 0; s < kSymbolCount; s++) {
        double share = log2(total / count[s]);
        cost[s] = (uint32_t)((depth[s] + share) / 2 * kCostUnit + 0.5);
    }
}

/* Cheapest path through the offsets start..start+span when a literal or a
   length costs what symCost says and a distance its bits. */
std::vector<Token> Encoder::CheapestPath(size_t start, size_t span, const uint32_t *symCost, int64_t *credit) const
{
    uint32_t distCost[64];
    for (int h = 0; h < 64; h++) {
        int code, len;
        DistanceCode(h, &code, &len);
        distCost[h] = (uint32_t)(len + 6) * kCostUnit;
    }
    /* The cheapest way to each offset as one number: price, then the token
       that ends there (its length, then its distance), so that one min()
       keeps it. A literal is written with length 255: of equal prices a match
       wins, and of two matches the shorter (the one from the later offset). */
    const uint64_t kLiteral = 0xFFull << 16;
    std::vector<uint64_t> way(span + 1, ~0ull);
    way[0] = 0;
    int64_t left = *credit;
    for (size_t i = 0; i < span; i++) {
        uint64_t p = way[i] >> 32;
        way[i + 1] = std::min(way[i + 1], (p + symCost[data_[start + i]]) << 32 | kLiteral);
        /* Every length up to a match's comes from its distance at the latest;
           none reaches past the block. */
        int room = (int)std::min<size_t>(kMaxMatch, span - i);
        const MatchCand *m = matchList_.data() + matchFirst_[start + i - matchBase_];
        const MatchCand *mEnd = matchList_.data() + matchFirst_[start + i + 1 - matchBase_];
        if (m == mEnd || room < kMinMatch)
            continue;
        int longest = std::min(mEnd[-1].len, room);
        uint64_t *to = &way[i];
        if (left < longest - kMinMatch + 1) {
            /* Out of credit: each match's own length only. */
            for (; m < mEnd; m++) {
                int last = std::min(m->len, room);
                uint64_t c = (p + distCost[m->dist >> 6] + symCost[last + kMatchLengthBias]) << 32 |
                             (uint64_t)last << 16 | (uint64_t)m->dist;
                to[last] = std::min(to[last], c);
                left--;
                if (last == room)
                    break;
            }
            continue;
        }
        left -= longest - kMinMatch + 1;
        int len = kMinMatch;
        for (; m < mEnd && len <= room; m++) {
            uint64_t base = p + distCost[m->dist >> 6];
            uint64_t dist = (uint64_t)m->dist;
            for (int last = std::min(m->len, room); len <= last; len++)
                to[len] = std::min(to[len], (base + symCost[len + kMatchLengthBias]) << 32 | (uint64_t)len << 16 | dist);
        }
    }
    *credit = left;
    std::vector<Token> path;
    for (size_t i = span; i > 0;) {
        int len = (int)(way[i] >> 16 & 0xFF);
        len = len == 0xFF ? 1 : len;
        i -= (size_t)len;
        path.push_back({(uint32_t)(start + i), (uint8_t)len, (uint16_t)(len > 1 ? way[i + (size_t)len] & 0xFFFF : 0)});
    }
    std::reverse(path.begin(), path.end());
    return path;
}

/* Bits of path coded from the model as it is now; into symCost, the prices
   of the model it leaves behind. */
uint64_t Encoder::PathBits(const std::vector<Token> &path, uint32_t *symCost) const
{
    LzhTree model = st_.model;
    uint64_t bits = 0;
    for (const Token &t : path) {
        int symbol = t.len == 1 ? data_[t.pos] : t.len + kMatchLengthBias;
        uint64_t code;
        int length;
        SymbolCode(model, symbol, &code, &length);
        bits += (uint64_t)length;
        if (t.len > 1) {
            int distCode, distLength;
            DistanceCode(t.dist >> 6, &distCode, &distLength);
            bits += (uint64_t)distLength + 6;
        }
        UpdateTree(model, (unsigned)symbol);
    }
    SymbolCosts(model, symCost);
    return bits;
}

/* Cheapest parse of the next kPlanBlock offsets under the code lengths the
   model gives now; the first kPlanCommit offsets' tokens become the plan.
   With more cost rounds the block is parsed again under the prices of the
   model its last parse leaves behind, for as long as that codes shorter. */
void Encoder::PlanBlock(size_t start)
{
    size_t end = std::min(size_, start + kPlanBlock);
    size_t span = end - start;
    FindMatchesTo(start, end);
    uint32_t symCost[kSymbolCount], after[kSymbolCount];
    SymbolCosts(st_.model, symCost);
    int64_t credit = std::min<int64_t>(relaxCredit_ + kLengthsPerOffset * (int64_t)span, kLengthCreditCap);
    relaxCredit_ = credit;
    std::vector<Token> path = CheapestPath(start, span, symCost, &relaxCredit_);
    if (opt_.costRounds > 1) {
        uint64_t bits = PathBits(path, after);
        for (int round = 1; round < opt_.costRounds; round++) {
            int64_t againCredit = credit;
            std::vector<Token> again = CheapestPath(start, span, after, &againCredit);
            uint64_t againBits = PathBits(again, after);
            if (againBits >= bits)
                break;
            bits = againBits;
            path.swap(again);
        }
    }
    /* Keep the path's first part; the rest is costed again with what follows. */
    size_t keepBelow = end == size_ ? size_ : start + kPlanCommit;
    for (size_t k = std::max(plannedTo_, end - std::min(end, kPlanRing)); k < end; k++)
        planLen_[k & planMask_] = 0;
    plannedTo_ = start;
    for (const Token &t : path) {
        if (t.pos >= keepBelow)
            break;
        planLen_[t.pos & planMask_] = t.len;
        planDist_[t.pos & planMask_] = t.dist;
        plannedTo_ = t.pos + t.len;
    }
}

/* Has the tree search every offset from start up to end, and forgets the
   offsets before start: later blocks start no earlier. */
void Encoder::FindMatchesTo(size_t start, size_t end)
{
    size_t found = matchBase_ + matchFirst_.size() - 1;   /* offsets below have lists */
    if (start >= found) {
        matchList_.clear();
        matchFirst_.assign(1, 0);
        matchBase_ = start;
        while (tree_->Next() < kPrefix + start)
            tree_->Add(0, nullptr);
    } else if (start > matchBase_) {
        size_t drop = start - matchBase_;
        uint32_t gone = matchFirst_[drop];
        matchList_.erase(matchList_.begin(), matchList_.begin() + gone);
        matchFirst_.erase(matchFirst_.begin(), matchFirst_.begin() + (long)drop);
        for (uint32_t &f : matchFirst_)
            f -= gone;
        matchBase_ = start;
    }
    MatchCand m[kMaxMatch];
    for (size_t pos = tree_->Next() - kPrefix; pos < end; pos++) {
        int n = tree_->Add((int)std::min<size_t>(kMaxMatch, size_ - pos), m);
        if (n == TreeFinder::kSkipped) {
            /* Not searched: the matches one offset back, each a byte shorter,
               still hold here. */
            n = 0;
            size_t k = pos - matchBase_;
            for (uint32_t e = k > 0 ? matchFirst_[k - 1] : matchFirst_[k]; e < matchFirst_[k]; e++)
                if (matchList_[e].len > kMinMatch)
                    m[n++] = {matchList_[e].len - 1, matchList_[e].dist};
        }
        matchList_.insert(matchList_.end(), m, m + n);
        matchFirst_.push_back((uint32_t)matchList_.size());
    }
}

void Encoder::Snapshot()
{
    st_.outSize = out_.size();
    snapshots_.push_back(st_);
    if (snapshots_.size() > kSnapshotsKept) {
        snapshots_.pop_front();
        for (; historyBase_ < snapshots_.front().tokens; historyBase_++)
            history_.pop_front();
    }
}

/* Puts the coder back to the moment before token tokenIndex was coded. */
void Encoder::RestoreTo(size_t tokenIndex)
{
    while (snapshots_.back().tokens > tokenIndex)
        snapshots_.pop_back();
    st_ = snapshots_.back();
    out_.resize(st_.outSize);
    std::vector<Token> replay(history_.begin() + (long)(st_.tokens - historyBase_),
                              history_.begin() + (long)(tokenIndex - historyBase_));
    history_.resize(st_.tokens - historyBase_);
    for (const Token &t : replay)
        Code(t);
    checked_ = out_.size();
    replayBudget_ -= std::min<uint64_t>(replayBudget_, replay.size());
}

/* Other tokens at orig's offset, cheapest-looking first: the same length from
   another distance (the model sees the same symbol), shorter matches, a literal. */
std::vector<Token> Encoder::Alternatives(const Token &orig)
{
    std::vector<Token> alts;
    MatchCand m[kMaxMatch];
    const ChainFinder &chains = Chains();
    int n = chains.Find(orig.pos, size_, kGreedyChain, m);
    if (orig.len > 1) {
        int d[16];
        int nd = chains.Distances(orig.pos, orig.len, kGreedyChain, d, 16);
        for (int k = 0; k < nd; k++)
            if (d[k] != orig.dist)
                alts.push_back({orig.pos, orig.len, (uint16_t)d[k]});
    }
    int longest = n ? m[n - 1].len : 0;
    for (int len = longest; len >= kMinMatch; len--) {
        if (len == orig.len)
            continue;
        int k = 0;
        while (m[k].len < len)
            k++;
        alts.push_back({orig.pos, (uint8_t)len, (uint16_t)m[k].dist});
    }
    if (orig.len > 1)
        alts.push_back({orig.pos, 1, 0});
    return alts;
}

/* The last token finished a byte that completes the marker. Go back token by
   token; at each, try the other tokens there, each followed by the usual parse
   until the stream is safely past the bad byte. */
bool Encoder::Recover()
{
    stats_.conflicts++;
    size_t badByte = checked_;
    size_t last = st_.tokens - 1;
    /* The oldest snapshot is read afresh: a trial that codes past the bad
       byte may take a new one and let the oldest go. */
    for (size_t back = 0; back <= last && last - back >= snapshots_.front().tokens; back++) {
        size_t idx = last - back;
        Token orig = history_[idx - historyBase_];
        for (const Token &alt : Alternatives(orig)) {
            if (replayBudget_ == 0)
                return false;
            stats_.trials++;
            RestoreTo(idx);
            bool ok = CodeChecked(alt);
            while (ok && st_.pos < size_ && out_.size() < badByte + 4 && replayBudget_ > 0) {
                if (st_.tokens % kSnapshotEvery == 0)
                    Snapshot();
                ok = CodeChecked(NextToken(st_.pos));
                replayBudget_--;
            }
            if (ok && replayBudget_ > 0)
                return true;
        }
        /* Put the original tokens back before looking further back. */
        RestoreTo(idx);
        Code(orig);
        checked_ = out_.size();
    }
    return false;
}

/* Pads the last byte and, where the stream would end with a first part of the
   marker, adds a byte: the decoder stops at the size and never reads them. */
bool Encoder::Finish()
{
    if (st_.held > 0) {
        /* Free bits: take the first filling that neither completes the marker
           nor ends the stream with a first part of it; failing that, the
           first that does not complete it (a byte added below ends it). */
        int free = 8 - st_.held;
        int chosen = -1;
        for (int pad = 0; pad < (1 << free); pad++) {
            out_.push_back((uint8_t)((st_.hold << free) | (uint64_t)pad));
            bool clash = opt_.avoidMarker && MarkerEndsAt(out_.size() - 1);
            bool prefix = opt_.avoidMarker && MarkerPrefixAtEnd(out_.data(), out_.size()) != 0;
            out_.pop_back();
            if (!clash && (chosen < 0 || !prefix))
                chosen = pad;
            if (!clash && !prefix)
                break;
        }
        if (chosen < 0)
            return false;
        out_.push_back((uint8_t)((st_.hold << free) | (uint64_t)chosen));
        st_.held = 0;
    }
    if (opt_.avoidMarker && MarkerPrefixAtEnd(out_.data(), out_.size()) != 0) {
        out_.push_back(0);
        stats_.paddingBytes++;
    }
    return true;
}

bool Encoder::Run(std::vector<uint8_t> *result)
{
    TreeFinder tree(view_.data(), kPrefix + size_ - std::min<size_t>(kPrefix + size_, kMinMatch - 1),
                    opt_.parse == kParseGreedy ? kWindow + 1 : kTreeSteps,
                    opt_.parse == kParseGreedy ? 0 : kStepsPerOffset);
    tree_ = &tree;
    matchBase_ = 0;
    matchFirst_.assign(1, 0);
    InitTree(st_.model);
    st_.hold = 0;
    st_.held = 0;
    st_.pos = 0;
    st_.tokens = 0;
    st_.matches = 0;
    if (opt_.head) {
        out_.assign(opt_.head, opt_.head + 4);
    } else {
        uint32_t n = (uint32_t)size_;
        out_ = {(uint8_t)n, (uint8_t)(n >> 8), (uint8_t)(n >> 16), (uint8_t)(n >> 24)};
    }
    checked_ = 3;
    if (opt_.avoidMarker && MarkerEndsAt(3))
        return false;   /* the size field itself reads as the marker */
    while (st_.pos < size_) {
        if (st_.tokens % kSnapshotEvery == 0)
            Snapshot();
        if (!CodeChecked(NextToken(st_.pos)) && !Recover())
            return false;
    }
    if (!Finish())
        return false;
    stats_.matches = st_.matches;
    stats_.tokens = st_.tokens;
    if (opt_.stats)
        *opt_.stats = stats_;
    *result = std::move(out_);
    return true;
}

}  // namespace

std::vector<uint8_t> LzhEncodeWith(const uint8_t *data, size_t size, const EncodeOptions &options)
{
    std::vector<uint8_t> out;
    if (size == 0 || (uint64_t)size > 0xFFFFFFFFull)
        return out;
    Encoder encoder(data, size, options);
    if (!encoder.Run(&out))
        out.clear();
    return out;
}

std::vector<uint8_t> LzhEncode(const uint8_t *data, size_t size, EncodeParse parse)
{
    EncodeOptions options;
    options.parse = parse;
    return LzhEncodeWith(data, size, options);
}
