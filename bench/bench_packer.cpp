/*
 * Packer figures on a folder of the ten client files: each member coded with
 * the greedy reference parse and with the packer's best parse, the payload
 * sizes and coding times of both, every stream checked through the
 * installer's decoder. Usage: bench_packer DIR [repeats]
 */
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
static Bytes Encode(const Bytes &data, EncodeParse parse, int repeats, double *seconds)
{
    Bytes stream;
    *seconds = 1e30;
    for (int r = 0; r < repeats; r++) {
        auto t0 = std::chrono::steady_clock::now();
        stream = LzhEncode(data.data(), data.size(), parse);
        auto t1 = std::chrono::steady_clock::now();
        double s = std::chrono::duration<double>(t1 - t0).count();
        if (s < *seconds)
            *seconds = s;
    }
    return stream;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: bench_packer DIR [repeats]\n");
        return 64;
    }
    std::string dir = argv[1];
    int repeats = argc > 2 ? atoi(argv[2]) : 3;
    ResetRecordedUi();
    recordedUi.recordFilePaints = false;

    std::vector<Bytes> greedy, best;
    double greedyTime = 0, bestTime = 0;
    uint64_t input = 0;
    bool allGood = true;
    printf("%-12s %10s %10s %10s %8s %9s %9s\n", "member", "size", "greedy", "best", "saved", "greedy s", "best s");
    for (const char *name : kMemberNames) {
        Bytes data = testsupport::ReadFileBytes(dir + "/" + name);
        if (data.empty()) {
            fprintf(stderr, "bench_packer: %s/%s: missing or empty\n", dir.c_str(), name);
            return 65;
        }
        double tg, tb;
        greedy.push_back(Encode(data, kParseGreedy, repeats, &tg));
        best.push_back(Encode(data, kParseBest, repeats, &tb));
        bool good = DecodesTo(greedy.back(), data) && DecodesTo(best.back(), data);
        allGood = allGood && good;
        input += data.size();
        greedyTime += tg;
        bestTime += tb;
        printf("%-12s %10zu %10zu %10zu %7.2f%% %9.3f %9.3f%s\n", name, data.size(), greedy.back().size(),
               best.back().size(), 100.0 * (1.0 - (double)best.back().size() / (double)greedy.back().size()), tg,
               tb, good ? "" : "  DECODE MISMATCH");
    }
    size_t pg = BuildPayload(greedy).size(), pb = BuildPayload(best).size();
    printf("\ninput %llu bytes\n", (unsigned long long)input);
    printf("payload: greedy %zu, best %zu bytes: best is %.2f%% smaller\n", pg, pb, 100.0 * (1.0 - (double)pb / (double)pg));
    printf("coding time: greedy %.3f s, best %.3f s: ratio %.1f (shortest of %d runs)\n", greedyTime, bestTime,
           bestTime / greedyTime, repeats);
    return allGood ? 0 : 1;
}
