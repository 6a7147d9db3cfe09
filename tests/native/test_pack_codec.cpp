// The packer's LZHUF encoder: round trips through the installer's decoder,
// its two match finders against each other, the marker guard against streams
// built to carry the marker, the size field, and the independent decoder of
// lhasa.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "tests/native/test_pack_helpers.h"
#include "tools/lzhcodes.h"
#include "tools/lzhenc_match.h"

using namespace packtest;

namespace {

const EncodeParse kParses[] = {kParseGreedy, kParseBest};

const char *ParseName(EncodeParse p) { return p == kParseGreedy ? "greedy" : "best"; }

struct DataCase {
    const char *what;
    Bytes data;
};

/* Data that exercises the coder's paths. */
/* Runs of 20 to 59 a's, each ended by a b: deep tree walks at every offset. */
Bytes LetterRuns(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes runs;
    while (runs.size() < n) {
        runs.insert(runs.end(), 20 + rng() % 40, 'a');
        runs.push_back('b');
    }
    runs.resize(n);
    return runs;
}

std::vector<DataCase> RoundTripCases()
{
    std::vector<DataCase> cases;
    cases.push_back({"one byte", Bytes{'x'}});
    cases.push_back({"one space (a match needs three)", Bytes{' '}});
    cases.push_back({"100 KB of one byte: overlapping copies", Bytes(100000, 0x5A)});
    cases.push_back({"100 KB of spaces: copies from the pre-filled ring", Bytes(100000, ' ')});
    cases.push_back({"random bytes: literals only, the tree rebuilt several times",
                     RandomBytes(150000, 7)});
    cases.push_back({"four letters at random: short matches everywhere", RandomBytes(60000, 8, 4)});
    /* Past a mebibyte the best parse's plan ring wraps, and every offset has
       hundreds of earlier ones with the same three bytes. */
    cases.push_back({"two letters at random over 1.2 MB: the plan ring wraps", RandomBytes(1200000, 13, 2)});
    cases.push_back({"runs of one letter: the best parse's search runs out of credit and skips offsets",
                     LetterRuns(400000, 14)});
    cases.push_back({"text", ReadFileBytes(YELK_SAMPLES_DIR "/history.txt")});
    cases.push_back({"binary program", ReadFileBytes(YELK_SAMPLES_DIR "/yelk32.exe")});
    /* A random block repeated at a distance just inside the window: the copies
       read across the end of the ring and continue at its start. */
    Bytes block = RandomBytes(4090, 9);
    Bytes wrap;
    for (int k = 0; k < 5; k++)
        wrap.insert(wrap.end(), block.begin(), block.end());
    cases.push_back({"copies 4091 bytes back that wrap the ring", wrap});
    /* Spaces first: matches reach back to the start of the pre-fill, at the
       greatest distance a fresh ring allows, and never beyond. */
    Bytes spaces(30, ' ');
    Bytes lead = RandomBytes(70, 10);
    spaces.insert(spaces.end(), lead.begin(), lead.end());
    spaces.insert(spaces.end(), 40, ' ');
    cases.push_back({"spaces at the start, copied from the pre-fill", spaces});
    return cases;
}

TEST(LzhEncode, RoundTripsThroughTheInstallerDecoder)
{
    for (const DataCase &c : RoundTripCases()) {
        ASSERT_FALSE(c.data.empty()) << c.what;
        for (EncodeParse parse : kParses) {
            SCOPED_TRACE(std::string(c.what) + ", " + ParseName(parse));
            EncodeStats stats;
            EncodeOptions options;
            options.parse = parse;
            options.stats = &stats;
            Bytes stream = LzhEncodeWith(c.data.data(), c.data.size(), options);
            ASSERT_GE(stream.size(), 5u);
            EXPECT_EQ(MemberDecodedSizeOf(stream), c.data.size());
            EXPECT_FALSE(HasMarker(stream));
            EXPECT_EQ(EndsWithMarkerStart(stream), 0);
            Bytes decoded;
            ASSERT_TRUE(DecodeAfterDirtyMember(stream, &decoded));
            EXPECT_TRUE(decoded == c.data) << "decoded " << decoded.size() << " bytes";
        }
    }
}

TEST(LzhEncode, TheRebuildHappensOnBothSides)
{
    /* More than 32,455 symbols: the model must halve its counts exactly when
       the decoder does, or every code after it is wrong. Check that the data
       really has that many tokens. */
    Bytes data = RandomBytes(100000, 11, 200);
    EncodeStats stats;
    EncodeOptions options;
    options.stats = &stats;
    Bytes stream = LzhEncodeWith(data.data(), data.size(), options);
    EXPECT_GT(stats.tokens, 3u * 32455u);
    Bytes decoded;
    ASSERT_TRUE(DecodeStream(stream, &decoded));
    EXPECT_TRUE(decoded == data);
}

TEST(LzhEncode, DistanceCodesAreTheDecodersTables)
{
    /* Each high part's code, read back through codeHigh/codeLength. */
    BuildDistanceCodes();
    for (int high = 0; high < 64; high++) {
        int code, length;
        DistanceCode(high, &code, &length);
        ASSERT_GE(code, 0);
        ASSERT_LT(code, 256);
        EXPECT_EQ(codeHigh[code], high);
        EXPECT_EQ(codeLength[code], length);
        EXPECT_EQ(code & ((1 << (8 - length)) - 1), 0) << "code must sit in the top bits";
    }
}

/* ---- Match search ----
   The best parse takes its matches from the binary tree, the greedy parse
   and the guard from the hash chains; unbounded, both must list the same
   matches at every offset. */

Bytes View(const Bytes &data)
{
    Bytes view(lzhenc::kPrefix, ' ');
    view.insert(view.end(), data.begin(), data.end());
    view.resize(view.size() + lzhenc::kViewSlack, 0);
    return view;
}

std::vector<DataCase> MatchSearchCases()
{
    std::vector<DataCase> cases;
    cases.push_back({"one byte", Bytes{'x'}});
    cases.push_back({"three spaces: a match in the pre-fill only", Bytes(3, ' ')});
    cases.push_back({"zeros: every key alike, each replaces the last", Bytes(9000, 0)});
    cases.push_back({"two letters at random: deep trees", RandomBytes(20000, 21, 2)});
    cases.push_back({"random bytes: hash collisions, few matches", RandomBytes(20000, 22)});
    cases.push_back({"text", ReadFileBytes(YELK_SAMPLES_DIR "/history.txt")});
    cases.push_back({"binary program", ReadFileBytes(YELK_SAMPLES_DIR "/yelk32.exe")});
    cases.push_back({"runs of one letter: matches of every length up to the longest", LetterRuns(20000, 23)});
    Bytes block = RandomBytes(4096, 24), wrap;
    for (int k = 0; k < 3; k++)
        wrap.insert(wrap.end(), block.begin(), block.end());
    cases.push_back({"a block repeated as far back as the window reaches", wrap});
    Bytes spaces(50, ' ');
    Bytes tail = ReadFileBytes(YELK_SAMPLES_DIR "/menus.ini");
    spaces.insert(spaces.end(), tail.begin(), tail.end());
    cases.push_back({"spaces first: matches reach into the pre-fill", spaces});
    return cases;
}

TEST(LzhEncode, TheTreeFindsWhatTheChainsFind)
{
    using namespace lzhenc;
    for (const DataCase &c : MatchSearchCases()) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(c.data.empty());
        Bytes view = View(c.data);
        size_t end = kPrefix + c.data.size();
        ChainFinder chains(view.data(), end);
        TreeFinder tree(view.data(), end - std::min<size_t>(end, kMinMatch - 1), 1 << 30);
        while (tree.Next() < (size_t)kPrefix)
            tree.Add(0, nullptr);
        size_t listed = 0;
        for (size_t pos = 0; pos < c.data.size(); pos++) {
            MatchCand a[kMaxMatch], b[kMaxMatch];
            int na = chains.Find(pos, c.data.size(), 1 << 30, a);
            int nb = tree.Add((int)std::min<size_t>(kMaxMatch, c.data.size() - pos), b);
            ASSERT_EQ(na, nb) << "at offset " << pos;
            for (int k = 0; k < na; k++) {
                ASSERT_EQ(a[k].len, b[k].len) << "at offset " << pos << ", match " << k;
                ASSERT_EQ(a[k].dist, b[k].dist) << "at offset " << pos << ", match " << k;
            }
            listed += (size_t)na;
        }
        if (c.data.size() > 100)
            EXPECT_GT(listed, 0u) << "the case must have matches to compare";
    }
}

TEST(LzhEncode, ATreeCutShortListsOnlyRealMatches)
{
    /* Where the bound on steps cuts a walk, the nodes below are dropped;
       where the credit is spent, offsets are left out of the tree. What is
       listed must still be there, within the window, and longer than the
       entry before it. */
    using namespace lzhenc;
    for (const DataCase &c : MatchSearchCases()) {
        SCOPED_TRACE(c.what);
        Bytes view = View(c.data);
        size_t end = kPrefix + c.data.size();
        TreeFinder tree(view.data(), end - std::min<size_t>(end, kMinMatch - 1), 3, 1, 64);
        while (tree.Next() < (size_t)kPrefix)
            tree.Add(0, nullptr);
        for (size_t pos = 0; pos < c.data.size(); pos++) {
            MatchCand m[kMaxMatch];
            int maxLen = (int)std::min<size_t>(kMaxMatch, c.data.size() - pos);
            int n = std::max(tree.Add(maxLen, m), 0);
            size_t v = kPrefix + pos;
            for (int k = 0; k < n; k++) {
                ASSERT_GE(m[k].len, k == 0 ? kMinMatch : m[k - 1].len + 1) << "at offset " << pos;
                ASSERT_LE(m[k].len, maxLen);
                ASSERT_LT(m[k].dist, kWindow);
                ASSERT_EQ(memcmp(&view[v - (size_t)m[k].dist - 1], &view[v], (size_t)m[k].len), 0)
                    << "at offset " << pos << ": no match of " << m[k].len << " at distance " << m[k].dist;
            }
        }
    }
}

TEST(LzhEncode, BestParseBeatsGreedyOnText)
{
    Bytes text = ReadFileBytes(YELK_SAMPLES_DIR "/history.txt");
    Bytes more = ReadFileBytes(YELK_SAMPLES_DIR "/menus.ini");
    text.insert(text.end(), more.begin(), more.end());
    size_t greedy = LzhEncode(text.data(), text.size(), kParseGreedy).size();
    size_t best = LzhEncode(text.data(), text.size(), kParseBest).size();
    EXPECT_LT(best, greedy);
}

TEST(LzhEncode, RefusesSizesItCannotCarry)
{
    uint8_t b = 1;
    EXPECT_TRUE(LzhEncode(&b, 0).empty());
}

/* ---- Data made of the marker's letters ---- */

TEST(MarkerGuard, DataFullOfTheMarkerStillObeysTheRules)
{
    std::string m = MarkerText();
    Bytes letters = RandomBytes(40000, 12, 4);
    for (auto &x : letters)
        x = (uint8_t)m[x];
    const DataCase cases[] = {
        {"the marker repeated", Repeat(m, 40000)},
        {"the marker's first three letters repeated", Repeat(m.substr(0, 3), 40000)},
        {"the marker with a space", Repeat(m + " ", 40000)},
        {"the marker's letters at random", letters},
        {"ending in the first letter", Repeat(m, 999)},
        {"ending in the first three letters", Repeat(m, 1003)},
    };
    for (const DataCase &c : cases) {
        for (EncodeParse parse : kParses) {
            SCOPED_TRACE(std::string(c.what) + ", " + ParseName(parse));
            Bytes stream = LzhEncode(c.data.data(), c.data.size(), parse);
            EXPECT_FALSE(HasMarker(stream));
            EXPECT_EQ(EndsWithMarkerStart(stream), 0);
            Bytes decoded;
            ASSERT_TRUE(DecodeAfterDirtyMember(stream, &decoded));
            EXPECT_TRUE(decoded == c.data);
        }
    }
}

/* ---- Streams steered to carry the marker ----
   The test picks the parse (through the encoder's plan option) and chooses
   literals by walking the model along the bits it wants, so the unguarded
   coding of that parse contains exactly those bits. */

class Steering {
public:
    explicit Steering(uint32_t seed) : rng_(seed) { InitTree(model_); }

    void Literal(uint8_t c)
    {
        Code(c);
        data_.push_back(c);
        planLen_.push_back(1);
        planDist_.push_back(0);
    }

    void RandomLiterals(int n)
    {
        for (int i = 0; i < n; i++)
            Literal((uint8_t)rng_());
    }

    /* Copies len bytes from dist + 1 bytes back (dist within the data). */
    void Copy(int len, int dist)
    {
        Code(len + 253);
        int code, codeLen;
        DistanceCode(dist >> 6, &code, &codeLen);
        bits_ += (size_t)codeLen + 6;
        size_t from = data_.size() - (size_t)dist - 1;
        planLen_.push_back((uint8_t)len);
        planDist_.push_back((uint16_t)dist);
        for (int k = 0; k < len; k++) {
            data_.push_back(data_[from + (size_t)k]);
            if (k > 0) {
                planLen_.push_back(0);
                planDist_.push_back(0);
            }
        }
    }

    /* Literals whose codes spell target from the next byte boundary on. With
       exactEnd the last code must end where target ends. Tries every filling
       of the bits up to the boundary; false if none gives literals only. */
    bool Spell(const std::string &target, bool exactEnd, int dropLastBits = 0)
    {
        int free = (int)((8 - bits_ % 8) % 8);
        for (int fill = 0; fill < (1 << free); fill++) {
            std::vector<int> want;
            for (int b = free - 1; b >= 0; b--)
                want.push_back((fill >> b) & 1);
            for (unsigned char ch : target)
                for (int b = 7; b >= 0; b--)
                    want.push_back((ch >> b) & 1);
            want.resize(want.size() - (size_t)dropLastBits);
            LzhTree m = model_;
            std::vector<uint8_t> lits;
            size_t i = 0;
            bool ok = true;
            while (ok && i < want.size()) {
                int n = m.node[kRootNode].child;
                while (n < kNodeCount) {
                    int bit = i < want.size() ? want[i] : 0;
                    if (i >= want.size() && exactEnd)
                        ok = false;
                    i++;
                    n = m.node[n + bit].child;
                }
                int s = n - kNodeCount;
                if (s >= 256)
                    ok = false;
                if (ok) {
                    UpdateTree(m, (unsigned)s);
                    lits.push_back((uint8_t)s);
                }
            }
            if (!ok)
                continue;
            for (uint8_t c : lits)
                Literal(c);
            return true;
        }
        return false;
    }

    const Bytes &Data() const { return data_; }
    size_t Bits() const { return bits_; }

    Bytes Encode(bool guard, EncodeStats *stats = nullptr) const
    {
        EncodeOptions options;
        options.avoidMarker = guard;
        options.planLen = planLen_.data();
        options.planDist = planDist_.data();
        options.stats = stats;
        return LzhEncodeWith(data_.data(), data_.size(), options);
    }

private:
    void Code(int symbol)
    {
        uint64_t code;
        int len;
        SymbolCode(model_, symbol, &code, &len);
        bits_ += (size_t)len;
        UpdateTree(model_, (unsigned)symbol);
    }

    std::mt19937 rng_;
    LzhTree model_;
    size_t bits_ = 0;   /* coded bits after the size field */
    Bytes data_;
    std::vector<uint8_t> planLen_;
    std::vector<uint16_t> planDist_;
};

TEST(MarkerGuard, StreamsSteeredOntoTheMarkerAreCodedAnotherWay)
{
    const std::string marker = MarkerText();
    int built = 0;
    /* After a long lead the guard keeps only its last snapshots and the
       tokens since the oldest of them. */
    for (int lead : {300, 20000})
    for (uint32_t seed = 1; seed <= 6; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", lead " + std::to_string(lead));
        Steering s(seed);
        s.RandomLiterals(lead);
        for (int k = 0; k < 8; k++) {
            /* A copy before each marker: the guard's way out. */
            s.Copy(8 + (int)(seed + (uint32_t)k) % 40, 17 + 23 * k);
            s.RandomLiterals(2 + k % 3);
            while (!s.Spell(marker, false))
                s.RandomLiterals(1);
        }
        s.RandomLiterals(100);

        Bytes unguarded = s.Encode(false);
        int plain = 0;
        for (size_t at = 0; at + 4 <= unguarded.size(); at++)
            plain += memcmp(&unguarded[at], marker.data(), 4) == 0;
        ASSERT_EQ(plain, 8) << "the steering must put the marker in the plain coding";
        built++;

        EncodeStats stats;
        Bytes stream = s.Encode(true, &stats);
        ASSERT_FALSE(stream.empty());
        /* The first way round changes every code after it, so later markers
           of the plain coding need not come up again. */
        EXPECT_GE(stats.conflicts, 1u);
        EXPECT_FALSE(HasMarker(stream));
        EXPECT_EQ(EndsWithMarkerStart(stream), 0);
        Bytes decoded;
        ASSERT_TRUE(DecodeAfterDirtyMember(stream, &decoded));
        EXPECT_TRUE(decoded == s.Data());
    }
    EXPECT_EQ(built, 12);
}

TEST(MarkerGuard, StreamsEndingInAFirstPartOfTheMarkerGetAnotherEnd)
{
    const std::string m = MarkerText();
    struct EndCase {
        std::string end;
        int paddingBits;   /* bits of the last byte left to padding */
    };
    const EndCase cases[] = {
        {m.substr(0, 1), 0}, {m.substr(0, 2), 0}, {m.substr(0, 2), 1},
        {m.substr(0, 3), 0}, {m.substr(0, 3), 1},
    };
    for (const EndCase &c : cases) {
        SCOPED_TRACE("ends with " + c.end + ", " + std::to_string(c.paddingBits) + " padding bits");
        Steering s(99);
        s.RandomLiterals(200);
        s.Copy(20, 50);
        s.RandomLiterals(3);
        while (!s.Spell(c.end, true, c.paddingBits))
            s.RandomLiterals(1);
        Bytes unguarded = s.Encode(false);
        ASSERT_EQ(EndsWithMarkerStart(unguarded), (int)c.end.size());

        Bytes stream = s.Encode(true);
        EXPECT_EQ(EndsWithMarkerStart(stream), 0);
        EXPECT_FALSE(HasMarker(stream));
        EXPECT_LE(stream.size(), unguarded.size() + 1) << "one byte at most is added";
        Bytes decoded;
        ASSERT_TRUE(DecodeAfterDirtyMember(stream, &decoded));
        EXPECT_TRUE(decoded == s.Data());
    }
}

/* ---- The size field ----
   It is fixed by the data's size, so the coded bits after it must not
   complete a marker it begins; where no other coding exists the encoder
   refuses rather than write a stream the installer would split wrongly. */

TEST(MarkerGuard, SizeFieldThatIsTheMarkerIsRefused)
{
    std::string m = MarkerText();
    Bytes data(100, 'x');
    EncodeOptions options;
    options.head = reinterpret_cast<const uint8_t *>(m.data());
    EXPECT_TRUE(LzhEncodeWith(data.data(), data.size(), options).empty());
}

TEST(MarkerGuard, SizeFieldEndingInTheMarkersStart)
{
    std::string m = MarkerText();
    const uint8_t head[4] = {'x', (uint8_t)m[0], (uint8_t)m[1], (uint8_t)m[2]};
    /* The first literal whose code begins with the marker's last letter: a
       stream that must start with it cannot be made. */
    LzhTree model;
    InitTree(model);
    int culprit = -1;
    for (int s = 0; s < 256 && culprit < 0; s++) {
        uint64_t code;
        int len;
        SymbolCode(model, s, &code, &len);
        if (len >= 8 && (uint8_t)(code >> (len - 8)) == (uint8_t)m[3])
            culprit = s;
    }
    ASSERT_GE(culprit, 0);
    Bytes forced = {(uint8_t)culprit, 'q', 'r'};
    EncodeOptions options;
    options.head = head;
    options.avoidMarker = false;
    Bytes plain = LzhEncodeWith(forced.data(), forced.size(), options);
    ASSERT_EQ(FindMarker(plain.data(), plain.size()), 1);
    options.avoidMarker = true;
    EXPECT_TRUE(LzhEncodeWith(forced.data(), forced.size(), options).empty());

    /* Anything else after the same field is fine, and decodes once the real
       size is put back. */
    Bytes data = ReadFileBytes(YELK_SAMPLES_DIR "/hosts.ini");
    Bytes stream = LzhEncodeWith(data.data(), data.size(), options);
    ASSERT_FALSE(stream.empty());
    EXPECT_FALSE(HasMarker(stream));
    for (int k = 0; k < 4; k++)
        stream[(size_t)k] = (uint8_t)(data.size() >> (8 * k));
    Bytes decoded;
    ASSERT_TRUE(DecodeStream(stream, &decoded));
    EXPECT_TRUE(decoded == data);
}

/* ---- lhasa ----
   An independent LZHUF decoder: the stream without its size field, in an LHA
   level-0 archive of method -lh1-. lhasa fills its whole ring with spaces, so
   a stream that read ring positions 4036..4095 before writing them would
   come out differently there. */

uint16_t Crc16(const Bytes &data)
{
    uint16_t crc = 0;
    for (uint8_t b : data) {
        crc ^= b;
        for (int i = 0; i < 8; i++)
            crc = (crc & 1) ? (uint16_t)((crc >> 1) ^ 0xA001) : (uint16_t)(crc >> 1);
    }
    return crc;
}

Bytes LhaArchive(const Bytes &stream, const Bytes &original)
{
    const std::string name = "member.bin";
    Bytes h = {0, 0};
    for (char c : std::string("-lh1-"))
        h.push_back((uint8_t)c);
    auto put32 = [&h](uint32_t v) {
        for (int i = 0; i < 4; i++)
            h.push_back((uint8_t)(v >> (8 * i)));
    };
    put32((uint32_t)stream.size() - 4);    /* packed size */
    put32((uint32_t)original.size());      /* original size */
    put32(0x5A8A6000u);                    /* MS-DOS date and time */
    h.push_back(0x20);                     /* attribute */
    h.push_back(0);                        /* level 0 */
    h.push_back((uint8_t)name.size());
    h.insert(h.end(), name.begin(), name.end());
    uint16_t crc = Crc16(original);
    h.push_back((uint8_t)crc);
    h.push_back((uint8_t)(crc >> 8));
    h[0] = (uint8_t)(h.size() - 2);        /* header size after these two bytes */
    uint8_t sum = 0;
    for (size_t i = 2; i < h.size(); i++)
        sum = (uint8_t)(sum + h[i]);
    h[1] = sum;
    h.insert(h.end(), stream.begin() + 4, stream.end());
    h.push_back(0);                        /* end of archive */
    return h;
}

bool LhasaAvailable() { return system("command -v lha >/dev/null 2>&1") == 0; }

TEST(LzhEncode, LhasaDecodesTheSameBytes)
{
    if (!LhasaAvailable())
        GTEST_SKIP() << "lhasa (lha) is not installed";
    char dir[] = "/tmp/yelk-lhasa-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string archive = std::string(dir) + "/test.lzh";
    std::string out = std::string(dir) + "/out.bin";
    for (const DataCase &c : RoundTripCases()) {
        for (EncodeParse parse : kParses) {
            SCOPED_TRACE(std::string(c.what) + ", " + ParseName(parse));
            Bytes stream = LzhEncode(c.data.data(), c.data.size(), parse);
            WriteFileBytes(archive, LhaArchive(stream, c.data));
            std::string cmd = "lha pq " + archive + " > " + out;
            ASSERT_EQ(system(cmd.c_str()), 0);
            EXPECT_TRUE(ReadFileBytes(out) == c.data);
        }
    }
    unlink(archive.c_str());
    unlink(out.c_str());
    rmdir(dir);
}

}  // namespace
