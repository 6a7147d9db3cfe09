// The LZHUF decoder: bit reader, distance code, adaptive tree and rebuild,
// and LzhDecode on hand-made member streams, held against a plain reference
// decode built from the public helpers.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "payload/crc.h"
#include "tests/support/lzhuf_kit.h"

using namespace lzhkit;

namespace {

std::vector<uint8_t> Bytes(const std::string &s) { return std::vector<uint8_t>(s.begin(), s.end()); }

/* Checks what every tree must satisfy: counts in order up to the root, a
   count of 0 after it, each inner node the sum of its two children, parents
   and children agreeing, every symbol on exactly one leaf. */
void ExpectTreeSound()
{
    for (int n = 0; n < kRootNode; n++)
        ASSERT_LE(lzh.tree.node[n].freq, lzh.tree.node[n + 1].freq) << "node " << n;
    ASSERT_EQ(lzh.tree.node[kNodeCount].freq, 0u);
    ASSERT_EQ(lzh.tree.node[kRootNode].parent, 0);
    std::vector<int> leafOf(kSymbolCount, -1);
    for (int n = 0; n < kNodeCount; n++) {
        unsigned c = lzh.tree.node[n].child;
        if (c >= kNodeCount) {
            ASSERT_LT(c - kNodeCount, (unsigned)kSymbolCount);
            ASSERT_EQ(leafOf[c - kNodeCount], -1) << "symbol on two leaves";
            leafOf[c - kNodeCount] = n;
            ASSERT_EQ(lzh.tree.node[c].parent, n);
        } else {
            ASSERT_LT(c + 1, (unsigned)n) << "children come before their parent";
            ASSERT_EQ(lzh.tree.node[n].freq, lzh.tree.node[c].freq + lzh.tree.node[c + 1].freq) << "node " << n;
            ASSERT_EQ(lzh.tree.node[c].parent, n);
            ASSERT_EQ(lzh.tree.node[c + 1].parent, n);
        }
    }
}

TEST(LzhTables, DistanceCodesFormOnePrefixCode)
{
    /* Each upper value has one code: all indexes starting with the same
       codeLength bits agree, and the codes run 0..63 in order. */
    BuildDistanceCodes();
    int expectedHigh = 0;
    for (int i = 0; i < 256;) {
        int len = codeLength[i];
        ASSERT_GE(len, 3);
        ASSERT_LE(len, 8);
        ASSERT_EQ(i % (1 << (8 - len)), 0) << "code of " << i << " not aligned";
        ASSERT_EQ(codeHigh[i], expectedHigh);
        for (int k = 0; k < (1 << (8 - len)); k++) {
            ASSERT_EQ(codeHigh[i + k], expectedHigh);
            ASSERT_EQ(codeLength[i + k], len);
        }
        i += 1 << (8 - len);
        expectedHigh++;
    }
    EXPECT_EQ(expectedHigh, 64);
    const struct { int index, high, length; } rows[] = {
        {0, 0, 3}, {31, 0, 3}, {32, 1, 4}, {79, 3, 4}, {80, 4, 5}, {143, 11, 5},
        {144, 12, 6}, {191, 23, 6}, {192, 24, 7}, {239, 47, 7}, {240, 48, 8}, {255, 63, 8},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(codeHigh[r.index], r.high) << r.index;
        EXPECT_EQ(codeLength[r.index], r.length) << r.index;
    }
}

TEST(LzhBitReader, DeliversBitsMostSignificantFirstThenZerosForEver)
{
    FILE *in = StreamFile({0xA5, 0x3C, 0xF0});
    StartMember();
    lzh.input = in;
    const int firstBits[] = {1, 0, 1, 0};
    for (int b : firstBits)
        EXPECT_EQ(ReadBit(), b);
    EXPECT_EQ(ReadByte(), 0x53);   /* 0101 0011 across the byte boundary */
    EXPECT_EQ(ReadByte(), 0xCF);
    EXPECT_EQ(ReadBit(), 0);
    EXPECT_EQ(ReadByte(), 0x00);   /* last 3 bits of 0xF0, then past the end */
    for (int i = 0; i < 40; i++)
        EXPECT_EQ(ReadBit(), 0);
    lzh.input = nullptr;
    fclose(in);
}

TEST(LzhTree, StartsWithEverySymbolCountedOnce)
{
    StartMember();
    ExpectTreeSound();
    EXPECT_EQ(lzh.tree.node[kRootNode].freq, kSymbolCount);
    EXPECT_EQ(lzh.bitsHeld, 0);
}

TEST(LzhTree, DistanceDecodesWhatTheWriterWrote)
{
    std::vector<Token> tokens;
    for (int d : {0, 1, 63, 64, 255, 256, 1023, 1024, 2047, 3071, 3072, 4095})
        tokens.push_back(Match(3, d));
    std::vector<uint8_t> stream = WriteStream(36, tokens);
    FILE *in = StreamFile(std::vector<uint8_t>(stream.begin() + 4, stream.end()));
    StartMember();
    lzh.input = in;
    for (const Token &t : tokens) {
        EXPECT_EQ(DecodeSymbol(), t.symbol);
        EXPECT_EQ(DecodeDistance(), t.distance);
    }
    lzh.input = nullptr;
    fclose(in);
}

TEST(LzhTree, RebuildsWhenTheRootReaches0x8000AndHalvesEveryLeaf)
{
    /* 32,454 symbols bring the root from 314 to 0x8000; the 32,455th finds it
       there and rebuilds first. Skewed counts make the rebuild move nodes. */
    const int total = 32455 + 20000;
    std::vector<Token> tokens;
    std::mt19937 rng(7);
    for (int i = 0; i < total; i++)
        tokens.push_back(Lit((int)(rng() % 97 * (rng() % 3))));
    std::vector<uint8_t> stream = WriteStream(total, tokens);
    FILE *in = StreamFile(std::vector<uint8_t>(stream.begin() + 4, stream.end()));
    StartMember();
    lzh.input = in;
    int rebuilds = 0;
    for (int i = 1; i <= total; i++) {
        uint16_t leafBefore[kSymbolCount];
        for (int s = 0; s < kSymbolCount; s++)
            leafBefore[s] = lzh.tree.node[lzh.tree.node[s + kNodeCount].parent].freq;
        bool atLimit = lzh.tree.node[kRootNode].freq == kMaxFreq;
        if (i == 32455)
            ASSERT_TRUE(atLimit) << "root " << lzh.tree.node[kRootNode].freq;
        int symbol = DecodeSymbol();
        ASSERT_EQ(symbol, tokens[i - 1].symbol) << "symbol " << i;
        if (!atLimit) {
            ASSERT_EQ(lzh.tree.node[kRootNode].freq, lzh.tree.node[lzh.tree.node[kRootNode].child].freq + lzh.tree.node[lzh.tree.node[kRootNode].child + 1].freq);
            continue;
        }
        rebuilds++;
        unsigned sum = 0;
        for (int s = 0; s < kSymbolCount; s++) {
            unsigned expected = (leafBefore[s] + 1u) / 2 + (s == symbol);
            ASSERT_EQ(lzh.tree.node[lzh.tree.node[s + kNodeCount].parent].freq, expected) << "symbol " << s;
            sum += expected;
        }
        ASSERT_EQ(lzh.tree.node[kRootNode].freq, sum);
        ExpectTreeSound();
    }
    EXPECT_EQ(rebuilds, 2);
    ExpectTreeSound();
    lzh.input = nullptr;
    fclose(in);
}

struct DecodeCase {
    const char *what;
    std::vector<uint8_t> stream;
    int barWidth;
    int ok;
    std::string bytes;
    std::vector<std::pair<uint32_t, uint32_t>> paints;
};

std::string Repeat(char c, size_t n) { return std::string(n, c); }

/* 70 different bytes: with the first write at 4036, byte 60 lands on ring
   position 0. */
std::vector<Token> Seventy()
{
    std::vector<Token> t;
    for (int i = 0; i < 70; i++)
        t.push_back(Lit(33 + i));
    return t;
}

std::string SeventyText()
{
    std::string s;
    for (int i = 0; i < 70; i++)
        s += (char)(33 + i);
    return s;
}

std::vector<Token> Concat(std::vector<Token> a, const std::vector<Token> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(LzhDecode, HandMadeStreams)
{
    const std::string seventy = SeventyText();
    const DecodeCase cases[] = {
        {"size 0 fails and writes nothing", WriteStream(0, {Lit('x')}), 100, 0, "", {}},
        {"size field cut short", {5, 0}, 100, 0, "", {}},
        {"empty input", {}, 100, 0, "", {}},
        {"one literal", WriteStream(1, {Lit('x')}), 100, 1, "x", {{1, 1}}},
        {"first symbol a match copies the pre-filled spaces", WriteStream(3, {Match(3, 0)}), 100, 1, "   ", {{3, 3}}},
        {"a match reaching back before the first byte finds spaces",
         WriteStream(7, {Lit('a'), Lit('b'), Match(5, 100)}), 100, 1, "ab     ", {{1, 7}, {2, 7}, {7, 7}}},
        {"overlapping copy repeats the byte just made",
         WriteStream(10, {Lit('x'), Match(9, 0)}), 100, 1, Repeat('x', 10), {{1, 10}, {10, 10}}},
        {"overlapping copy with a period of three",
         WriteStream(12, {Lit('a'), Lit('b'), Lit('c'), Match(9, 2)}), 100, 1, "abcabcabcabc", {{1, 12}, {2, 12}, {3, 12}, {12, 12}}},
        {"a match across ring position 0 wraps",
         WriteStream(90, Concat(Seventy(), {Match(20, 24)})), 0, 1, seventy + seventy.substr(45, 20), {{90, 90}}},
        {"a match from the far end of the window",
         WriteStream(4200, Concat(std::vector<Token>(4100, Lit('q')), {Match(60, 4095), Match(40, 4095)})), 0, 1,
         Repeat('q', 4100) + Repeat('q', 100), {{4200, 4200}}},
        {"no dialog: one paint, at the end",
         WriteStream(5, {Lit('a'), Lit('b'), Match(3, 1)}), 0, 1, "abab" "a", {{5, 5}}},
        {"painting step 4: multiples jumped over by a match are not painted",
         WriteStream(20, {Lit('a'), Lit('b'), Lit('c'), Match(5, 0), Lit('d'), Match(11, 0)}), 5, 1,
         "abc" "ccccc" "d" "ddddddddddd", {{8, 20}, {20, 20}}},
        {"bytes after the coded bits are left alone",
         WriteStream(2, {Lit('o'), Lit('k')}, Bytes("trailing")), 100, 1, "ok", {{1, 2}, {2, 2}}},
        {"a last match that runs past the size stops at the size",
         WriteStream(6, {Lit('x'), Match(20, 0)}), 100, 1, Repeat('x', 6), {{1, 6}, {6, 6}}},
    };
    for (const DecodeCase &c : cases) {
        SCOPED_TRACE(c.what);
        Decoded d = RunLzhDecode(c.stream, c.barWidth);
        EXPECT_EQ(d.ok, c.ok);
        EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), c.bytes);
        EXPECT_EQ(d.paints, c.paints);
        EXPECT_EQ(d.wipes, c.ok ? 1 : 0);
    }
}

TEST(LzhDecode, PaintingStepIsTheSizeOverTheBarWidth)
{
    /* One literal per symbol, so every count is reached: the bar is painted
       at every multiple of size / width (at least 1; without a bar, the
       size), and nowhere else, not even at the end. */
    const struct {
        uint32_t size;
        int barWidth;
        size_t paints;
        std::pair<uint32_t, uint32_t> first, last;
    } rows[] = {
        {1000, 171, 200, {5, 1000}, {1000, 1000}},
        {1003, 200, 200, {5, 1003}, {1000, 1003}},
        {100, 171, 100, {1, 100}, {100, 100}},
        {1000, 0, 1, {1000, 1000}, {1000, 1000}},
        {342, 171, 171, {2, 342}, {342, 342}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(std::to_string(r.size) + " bytes, bar " + std::to_string(r.barWidth));
        std::vector<Token> tokens;
        for (uint32_t i = 0; i < r.size; i++)
            tokens.push_back(Lit('a' + (int)(i % 26)));
        Decoded d = RunLzhDecode(WriteStream(r.size, tokens), r.barWidth);
        ASSERT_EQ(d.ok, 1);
        ASSERT_EQ(d.paints.size(), r.paints);
        EXPECT_EQ(d.paints.front(), r.first);
        EXPECT_EQ(d.paints.back(), r.last);
    }
}

TEST(LzhDecode, PaintsAfterEverySymbolWhenTheMemberIsNarrowerThanTheBar)
{
    std::vector<Token> tokens = {Lit('a'), Match(4, 0), Lit('b'), Match(3, 1), Lit('c')};
    Decoded d = RunLzhDecode(WriteStream(10, tokens), 171);
    std::vector<std::pair<uint32_t, uint32_t>> expected = {{1, 10}, {5, 10}, {6, 10}, {9, 10}, {10, 10}};
    EXPECT_EQ(d.paints, expected);
    EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), "aaaaababac");
}

TEST(LzhDecode, SameBytesAndPaintsAsThePlainDecodeOnWrittenStreams)
{
    std::mt19937 rng(2024);
    for (int round = 0; round < 60; round++) {
        /* Random literals and matches, long enough for rebuilds in some rounds
           and for the output to pass several flushes. */
        size_t symbols = round % 10 == 0 ? 120000 : 1 + rng() % 3000;
        std::vector<Token> tokens;
        size_t produced = 0;
        for (size_t i = 0; i < symbols; i++) {
            if (rng() % 3) {
                tokens.push_back(Lit((int)(rng() % (round % 4 == 0 ? 256 : 16))));
                produced++;
                continue;
            }
            /* Never reach the 60 ring positions no byte has been written to. */
            size_t distance = std::min<size_t>(rng() % (round % 2 ? 4096 : 12), produced + kRingFirstWrite - 1);
            tokens.push_back(Match(3 + (int)(rng() % 58), (int)distance));
            produced += tokens.back().symbol - 253;
        }
        std::vector<uint8_t> expected = Expand(tokens);
        int width = (int)(rng() % 300);
        std::vector<uint8_t> stream = WriteStream((uint32_t)expected.size(), tokens);
        Decoded fast = RunLzhDecode(stream, width);
        Decoded plain = ReferenceDecode(stream, width);
        ASSERT_EQ(fast.ok, 1) << round;
        ASSERT_EQ(fast.bytes, expected) << round;
        ASSERT_EQ(plain.bytes, expected) << round;
        ASSERT_EQ(fast.paints, plain.paints) << round;
    }
}

TEST(LzhDecode, RebuildFallsOnTheSameSymbolAtEveryKindOfStop)
{
    /* The 32,455th symbol is decoded with the root at 0x8000, so the tree is
       rebuilt after its walk and before its count. LzhDecode looks at the
       count at every checkpoint and decodes in stretches that end before a
       rebuild can fall due: the rebuild must land on the same symbol
       whether that symbol starts a stretch, follows a checkpoint or
       precedes one, and whether it is a literal or a match. */
    const struct {
        const char *what;
        int barWidth;
        uint32_t size;
    } rows[] = {
        {"no dialog: the stretch ends at the symbol", 0, 48681},
        {"checkpoint one byte before it (step 1909)", 26, 49634},
        {"checkpoint just before it (step 16227)", 3, 48681},
        {"checkpoint just after it (step 6491)", 8, 51928},
    };
    for (const auto &r : rows) {
        for (bool match : {false, true}) {
            SCOPED_TRACE(std::string(r.what) + (match ? ", a match" : ", a literal"));
            std::vector<Token> tokens;
            for (int i = 0; i < 32454; i++)
                tokens.push_back(Lit((i * 7 + i / 300) & 0xFF));
            tokens.push_back(match ? Match(10, 5) : Lit('Z'));
            size_t produced = 32454 + (match ? 10 : 1);
            for (; produced < r.size; produced++)
                tokens.push_back(Lit((int)(produced % 251)));
            std::vector<uint8_t> stream = WriteStream(r.size, tokens);
            Decoded fast = RunLzhDecode(stream, r.barWidth);
            Decoded plain = ReferenceDecode(stream, r.barWidth);
            ASSERT_EQ(fast.ok, 1);
            EXPECT_EQ(fast.bytes, Expand(tokens));
            EXPECT_TRUE(SameDecode(fast, plain));
        }
    }
}

TEST(LzhDecode, SameAsThePlainDecodeOnArbitraryBytes)
{
    /* Damaged streams: the two agree on every byte up to the size, and on
       every paint except one that a last match past the size would add; a
       stream whose symbols run past its end fails in both, LzhDecode having
       written no more than a start of the plain decode. Both kinds occur. */
    int cutShort = 0;
    std::mt19937 rng(99);
    for (int round = 0; round < 300; round++) {
        uint32_t size = 1 + rng() % 20000;
        std::vector<uint8_t> stream = {(uint8_t)size, (uint8_t)(size >> 8), 0, 0};
        size_t n = rng() % 3000;
        for (size_t i = 0; i < n; i++)
            stream.push_back((uint8_t)(round % 3 ? rng() : rng() % 4));
        int width = (int)(rng() % 200);
        memset(lzh.ring, 0x5A, sizeof lzh.ring);
        Decoded fast = RunLzhDecode(stream, width);
        memset(lzh.ring, 0x5A, sizeof lzh.ring);
        Decoded plain = CapAtSize(ReferenceDecode(stream, width), size, width);
        ASSERT_TRUE(SameDecode(fast, plain)) << round;
        if (fast.ok)
            ASSERT_EQ(fast.bytes.size(), size);
        cutShort += plain.ok ? 0 : 1;
    }
    EXPECT_GT(cutShort, 10);
    EXPECT_LT(cutShort, 290);
}

TEST(LzhDecode, KeepsTheRingForTheNextMember)
{
    /* Positions 4036..4095 are not refilled between members: a stream that
       reads them before writing them gets what the last member left. */
    std::vector<Token> first;
    for (int i = 0; i < 4096 + 100; i++)
        first.push_back(Lit('a' + i % 26));
    std::vector<uint8_t> firstBytes = Expand(first);
    const int n = (int)firstBytes.size();
    ASSERT_EQ(RunLzhDecode(WriteStream((uint32_t)n, first), 0).ok, 1);
    for (int p = 0; p < kRingSize; p++) {
        int index = n - kRingSize + ((p - kRingFirstWrite - n) % kRingSize + kRingSize) % kRingSize;
        ASSERT_EQ(lzh.ring[p], firstBytes[index]) << "ring position " << p;
    }
    /* Distance 59 from the first write position reads 3976..3978 (spaces);
       then, at 4039, distance 4095 reads 4039..4041 before writing them. */
    std::string left(lzh.ring + 4039, lzh.ring + 4042);
    Decoded d = RunLzhDecode(WriteStream(6, {Match(3, 59), Match(3, 4095)}), 0);
    ASSERT_EQ(d.ok, 1);
    EXPECT_EQ(std::string(d.bytes.begin(), d.bytes.end()), "   " + left);
}

TEST(LzhDecode, FailsWhenTheStreamEndsBeforeItsBits)
{
    /* A whole stream of many flushes' worth, then the same cut at several
       places: every cut that takes away a coded bit fails, even one whose
       missing bits would decode to the same bytes as zeros. */
    std::vector<Token> tokens;
    for (int i = 0; i < 15000; i++)
        tokens.push_back(i % 3 ? Match(3 + i % 58, i % 4000) : Lit(i & 0xFF));
    std::vector<uint8_t> expected = Expand(tokens);
    std::vector<uint8_t> whole = WriteStream((uint32_t)expected.size(), tokens);
    ASSERT_GT(expected.size(), 4u * 65536);

    Decoded d = RunLzhDecode(whole, 0);
    ASSERT_EQ(d.ok, 1);
    ASSERT_EQ(d.bytes, expected);

    const struct {
        const char *what;
        size_t keep;                  /* bytes of the stream kept */
    } cuts[] = {
        {"last byte missing", whole.size() - 1},
        {"half the bits", 4 + (whole.size() - 4) / 2},
        {"one coded byte", 5},
        {"size field only", 4},
    };
    for (const auto &c : cuts) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + (long)c.keep);
        Decoded fast = RunLzhDecode(cut, 0);
        EXPECT_EQ(fast.ok, 0);
        EXPECT_EQ(fast.wipes, 0);
        /* It stops within one output block of the end of the bits. */
        EXPECT_LE(fast.bytes.size(), (c.keep - 4) * 8 * 60 / 9 + 2 * 65536);
        EXPECT_TRUE(std::equal(fast.bytes.begin(), fast.bytes.end(), expected.begin()));
        EXPECT_TRUE(SameDecode(fast, CapAtSize(ReferenceDecode(cut, 0), (uint32_t)expected.size(), 0)));
    }

    /* A stream of one symbol and a size far beyond it: nothing like the
       size is written before the decoder gives up. */
    Decoded huge = RunLzhDecode(WriteStream(0xFFFFFFF0u, {Lit('z'), Match(60, 0)}), 0);
    EXPECT_EQ(huge.ok, 0);
    EXPECT_LE(huge.bytes.size(), 2u * 65536);
}

TEST(LzhDecode, FailsWhenTheOutputCannotBeWritten)
{
    std::vector<Token> tokens;
    for (int i = 0; i < 3000; i++)
        tokens.push_back(i % 2 ? Match(60, (int)(i % 4000)) : Lit(i & 0xFF));
    std::vector<uint8_t> expected = Expand(tokens);
    std::vector<uint8_t> stream = WriteStream((uint32_t)expected.size(), tokens);

    /* A stream opened for reading refuses every write. */
    ResetRecordedUi(100, 0);
    FILE *in = StreamFile(stream);
    FILE *readOnly = fopen("/dev/null", "rb");
    ASSERT_NE(readOnly, nullptr);
    EXPECT_EQ(LzhDecode(in, readOnly), 0);
    EXPECT_EQ(recordedUi.wipes, 0);
    fclose(readOnly);
    fclose(in);

    /* A full device: the write fails once the output is handed on. */
    FILE *full = fopen("/dev/full", "wb");
    if (full) {
        in = StreamFile(stream);
        EXPECT_EQ(LzhDecode(in, full), 0);
        fclose(full);
        fclose(in);
    }
}

TEST(LzhDecode, FailsWhenTheInputCannotBeRead)
{
    ResetRecordedUi(100, 0);
    FILE *dir = fopen("/", "rb");
    ASSERT_NE(dir, nullptr);
    FILE *out = tmpfile();
    EXPECT_EQ(LzhDecode(dir, out), 0);
    EXPECT_TRUE(FileBytes(out).empty());
    EXPECT_EQ(recordedUi.wipes, 0);
    fclose(out);
    fclose(dir);
}

TEST(LzhDecode, RoundTripsAGreedyParseOfMixedData)
{
    std::mt19937 rng(5);
    std::vector<uint8_t> data;
    for (int i = 0; i < 150000; i++) {
        if (i % 5000 < 2000)
            data.push_back((uint8_t)rng());
        else
            data.push_back((uint8_t)("the quick brown fox jumps over the lazy dog "[i % 44]));
    }
    std::vector<Token> tokens = GreedyTokens(data.data(), data.size());
    Decoded d = RunLzhDecode(WriteStream((uint32_t)data.size(), tokens), 300);
    EXPECT_EQ(d.ok, 1);
    EXPECT_EQ(d.bytes, data);
    /* Step 500: at most one paint per pixel, matches jump over some. */
    EXPECT_LE(d.paints.size(), 300u);
    EXPECT_GT(d.paints.size(), 100u);
    EXPECT_EQ(d.paints.back(), std::make_pair(150000u, 150000u));
}

TEST(LzhDecode, ACheckedInStreamDecodesAsTheEncoderThatWroteItMeant)
{
    /* 81,920 letters (a to t from a linear congruential generator, seed
       12345), coded once by the packer and checked in: they cross a tree
       rebuild many times, with many counts tied after the halving. Encoder
       and decoder share the rebuild, so no round trip can see a change in how
       it breaks ties; this stream, written before such a change, does. */
    FILE *f = fopen(YELK_TEST_DATA "/rebuild-ties.lzh", "rb");
    ASSERT_NE(f, nullptr) << YELK_TEST_DATA "/rebuild-ties.lzh";
    FILE *out = tmpfile();
    ASSERT_NE(out, nullptr);
    ResetRecordedUi(0, 0);
    EXPECT_EQ(LzhDecode(f, out), 1);
    fclose(f);
    std::vector<uint8_t> decoded((size_t)ftell(out));
    rewind(out);
    ASSERT_EQ(fread(decoded.data(), 1, decoded.size(), out), decoded.size());
    fclose(out);
    EXPECT_EQ(decoded.size(), 81920u);
    EXPECT_EQ(Crc32(decoded.data(), decoded.size()), 0xCD06DD1Fu);
}

}  // namespace
