/*
 * Packer figures. On a folder of the ten client files: each member coded with
 * the greedy reference parse and with the packer's best parse, the payload
 * sizes and coding times of both, every stream checked through the
 * installer's decoder. With --cases: inputs that strain the match search,
 * written as client folders (so yelkpack can pack them too) and timed per
 * byte against the real-shaped payload.
 *   bench_packer DIR [repeats]
 *   bench_packer --cases DIR OUT [repeats]
 */
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/posix/ui_record.h"
#include "payload/lzhuf.h"
#include "tests/support/filebytes.h"
#include "tools/lzhenc.h"
#include "tools/lzhenc_internal.h"
#include "tools/payloadscan.h"

using testsupport::Bytes;

static bool DecodesTo(const Bytes &stream, const Bytes &data)
{
    Bytes got;
    return testsupport::DecodeStream(stream, &got) && got == data;
}

/* The stream and the shortest of repeats coding times in seconds. */
static Bytes Encode(const Bytes &data, EncodeParse parse, int repeats, double *seconds, int costRounds = 1)
{
    Bytes stream;
    EncodeOptions options;
    options.parse = parse;
    options.costRounds = costRounds;
    *seconds = 1e30;
    for (int r = 0; r < repeats; r++) {
        auto t0 = std::chrono::steady_clock::now();
        stream = LzhEncodeWith(data.data(), data.size(), options);
        auto t1 = std::chrono::steady_clock::now();
        double s = std::chrono::duration<double>(t1 - t0).count();
        if (s < *seconds)
            *seconds = s;
    }
    return stream;
}

static bool ReadMembers(const std::string &dir, std::vector<Bytes> *members)
{
    for (const char *name : kMemberNames) {
        members->push_back(testsupport::ReadFileBytes(dir + "/" + name));
        if (members->back().empty()) {
            fprintf(stderr, "bench_packer: %s/%s: missing or empty\n", dir.c_str(), name);
            return false;
        }
    }
    return true;
}

static double Below(size_t size, size_t reference) { return 100.0 * (1.0 - (double)size / (double)reference); }

/* Rounds of re-costing each block for the third column: enough that the
   parse stops getting shorter well before. */
static const int kStudyRounds = 8;

static int MemberTable(const std::string &dir, int repeats)
{
    std::vector<Bytes> members;
    if (!ReadMembers(dir, &members))
        return 65;
    std::vector<Bytes> greedy, best, recost;
    double greedyTime = 0, bestTime = 0, recostTime = 0;
    uint64_t input = 0;
    bool allGood = true;
    printf("%-12s %10s %10s %10s %8s %10s %8s %9s %9s %9s\n", "member", "size", "greedy", "best", "saved", "re-costed",
           "saved", "greedy s", "best s", "re-cost s");
    for (size_t k = 0; k < members.size(); k++) {
        const Bytes &data = members[k];
        double tg, tb, tr;
        greedy.push_back(Encode(data, kParseGreedy, repeats, &tg));
        best.push_back(Encode(data, kParseBest, repeats, &tb));
        recost.push_back(Encode(data, kParseBest, repeats, &tr, kStudyRounds));
        bool good = DecodesTo(greedy.back(), data) && DecodesTo(best.back(), data) && DecodesTo(recost.back(), data);
        allGood = allGood && good;
        input += data.size();
        greedyTime += tg;
        bestTime += tb;
        recostTime += tr;
        printf("%-12s %10zu %10zu %10zu %7.2f%% %10zu %7.2f%% %9.3f %9.3f %9.3f%s\n", kMemberNames[k], data.size(),
               greedy.back().size(), best.back().size(), Below(best.back().size(), greedy.back().size()),
               recost.back().size(), Below(recost.back().size(), greedy.back().size()), tg, tb, tr,
               good ? "" : "  DECODE MISMATCH");
    }
    size_t pg = BuildPayload(greedy).size(), pb = BuildPayload(best).size(), pr = BuildPayload(recost).size();
    printf("\ninput %llu bytes\n", (unsigned long long)input);
    printf("payload: greedy %zu, best %zu bytes: best is %.2f%% smaller\n", pg, pb, Below(pb, pg));
    printf("payload with each block re-costed up to %d times: %zu bytes, %.2f%% smaller than greedy\n", kStudyRounds,
           pr, Below(pr, pg));
    printf("coding time: greedy %.3f s, best %.3f s: ratio %.1f; re-costed %.3f s (shortest of %d runs)\n", greedyTime,
           bestTime, bestTime / greedyTime, recostTime, repeats);
    return allGood ? 0 : 1;
}

/* ---- Inputs that strain the match search ---- */

struct StrainCase {
    const char *name;
    Bytes data;
};

static const size_t kMiB = 1u << 20;

/* Each case stands in for yelk32.exe in a folder whose other nine members
   are one byte each, so packing the folder times the case alone. The large
   case is the real-shaped members over and over: real data at a size where
   the encoder's memory shows. */
static std::vector<StrainCase> StrainCases(const std::vector<Bytes> &real)
{
    std::vector<StrainCase> cases;
    std::mt19937 rng(20240610);
    Bytes two(kMiB), random(kMiB);
    for (auto &b : two)
        b = (uint8_t)('a' + (rng() & 1));
    for (auto &b : random)
        b = (uint8_t)rng();
    cases.push_back({"two-letters", two});
    /* Runs of 20 to 59 a's, each ended by a b: the deepest tree walks. */
    Bytes runs;
    while (runs.size() < kMiB) {
        runs.insert(runs.end(), 20 + rng() % 40, 'a');
        runs.push_back('b');
    }
    runs.resize(kMiB);
    cases.push_back({"letter-runs", runs});
    cases.push_back({"zeros", Bytes(kMiB, 0)});
    cases.push_back({"random", random});
    Bytes large;
    while (large.size() < 64 * kMiB)
        for (const Bytes &m : real)
            large.insert(large.end(), m.begin(), m.end());
    large.resize(64 * kMiB);
    cases.push_back({"large-64MiB", large});
    return cases;
}

static bool WriteCaseFolder(const std::string &dir, const Bytes &data)
{
    mkdir(dir.c_str(), 0777);
    bool ok = testsupport::WriteFileBytes(dir + "/" + kMemberNames[0], data);
    for (int k = 1; k < kMemberCount; k++)
        ok = ok && testsupport::WriteFileBytes(dir + "/" + kMemberNames[k], Bytes{'x'});
    return ok;
}

static int CaseTable(const std::string &dir, const std::string &out, int repeats)
{
    std::vector<Bytes> real;
    if (!ReadMembers(dir, &real))
        return 65;
    std::vector<StrainCase> cases = StrainCases(real);
    mkdir(out.c_str(), 0777);
    for (const StrainCase &c : cases)
        if (!WriteCaseFolder(out + "/" + c.name, c.data)) {
            fprintf(stderr, "bench_packer: cannot write %s/%s\n", out.c_str(), c.name);
            return 73;
        }

    /* Seconds per MiB of the real-shaped payload, the unit of the table. */
    double unit[2] = {0, 0};
    size_t realSize[2] = {0, 0};
    uint64_t realBytes = 0;
    const EncodeParse parses[2] = {kParseGreedy, kParseBest};
    for (const Bytes &m : real)
        realBytes += m.size();
    for (int p = 0; p < 2; p++) {
        std::vector<Bytes> streams;
        for (const Bytes &m : real) {
            double s;
            streams.push_back(Encode(m, parses[p], repeats, &s));
            unit[p] += s;
        }
        realSize[p] = BuildPayload(streams).size();
        unit[p] /= (double)realBytes / (double)kMiB;
    }
    printf("time per byte as a multiple of the real-shaped payload's with the same parse\n");
    printf("(real-shaped: greedy %.3f s/MiB, best %.3f s/MiB; shortest of %d runs)\n\n", unit[0], unit[1], repeats);
    printf("%-12s %10s %10s %7s %10s %7s\n", "input", "size", "greedy", "time", "best", "time");
    printf("%-12s %10llu %10zu %7.2f %10zu %7.2f\n", "real-shaped", (unsigned long long)realBytes, realSize[0], 1.0,
           realSize[1], 1.0);
    bool allGood = true;
    for (const StrainCase &c : cases) {
        size_t size[2];
        double ratio[2];
        bool good = true;
        for (int p = 0; p < 2; p++) {
            double s;
            Bytes stream = Encode(c.data, parses[p], repeats, &s);
            good = good && !stream.empty() && DecodesTo(stream, c.data);
            size[p] = stream.size();
            ratio[p] = s / ((double)c.data.size() / (double)kMiB) / unit[p];
        }
        allGood = allGood && good;
        printf("%-12s %10zu %10zu %7.2f %10zu %7.2f%s\n", c.name, c.data.size(), size[0], ratio[0], size[1], ratio[1],
               good ? "" : "  DECODE MISMATCH");
    }
    return allGood ? 0 : 1;
}

int main(int argc, char **argv)
{
    ResetRecordedUi();
    recordedUi.recordFilePaints = false;
    if (argc >= 4 && strcmp(argv[1], "--cases") == 0)
        return CaseTable(argv[2], argv[3], argc > 4 ? atoi(argv[4]) : 3);
    if (argc >= 2 && argv[1][0] != '-')
        return MemberTable(argv[1], argc > 2 ? atoi(argv[2]) : 3);
    fprintf(stderr, "usage: bench_packer DIR [repeats]\n"
                    "       bench_packer --cases DIR OUT [repeats]\n");
    return 64;
}
