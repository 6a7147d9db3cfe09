// Decoder throughput on a member shaped like the client's program file: the
// first 1,656,832 bytes of an ELF binary of this machine, packed once into a
// member stream. MB/s through Google Benchmark; instructions per byte by
// running one decode under callgrind (see bench/codec.cmake).
//
//   bench_decode [benchmark flags]          MB/s of LzhDecode
//   bench_decode --once                     one checked decode (for callgrind)
//   YELK_BENCH_SOURCE=file                  another source of the member's bytes
//   YELK_BENCH_PARSE=greedy                 pack with the greedy parse (more symbols)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/posix/ui_record.h"
#include "payload/lzhuf.h"
#include "tests/support/filebytes.h"
#include "tests/support/lzhuf_kit.h"

#ifdef YELK_HAVE_ENCODER
#include "tools/lzhenc.h"
#endif

namespace {

const size_t kMemberSize = 1656832;   /* yelk32.exe */
const int kFileBarWidth = 353;        /* pixels of the per-file bar */

std::vector<uint8_t> SourceBytes()
{
    const char *env = getenv("YELK_BENCH_SOURCE");
    const char *candidates[] = {env, "/usr/bin/cmake", "/usr/bin/ctest", "/usr/bin/gdb"};
    for (const char *path : candidates) {
        if (!path || !*path)
            continue;
        FILE *f = fopen(path, "rb");
        if (!f)
            continue;
        std::vector<uint8_t> data(kMemberSize);
        size_t got = fread(data.data(), 1, kMemberSize, f);
        fclose(f);
        if (got == kMemberSize)
            return data;
    }
    fprintf(stderr, "bench_decode: no source of %zu bytes found\n", kMemberSize);
    exit(1);
}

/* The member stream, made once and kept beside the program. */
std::vector<uint8_t> MemberStream(const std::vector<uint8_t> &data)
{
    const char *parse = getenv("YELK_BENCH_PARSE");
    std::string cache = std::string("bench_decode_member") + (parse ? parse : "") + ".lzh";
    {
        std::vector<uint8_t> stream = testsupport::ReadFileBytes(cache);
        if (stream.size() > 4 && stream[0] == (uint8_t)kMemberSize && stream[1] == (uint8_t)(kMemberSize >> 8) &&
            stream[2] == (uint8_t)(kMemberSize >> 16))
            return stream;
    }
#ifdef YELK_HAVE_ENCODER
    bool greedy = parse && strcmp(parse, "greedy") == 0;
    std::vector<uint8_t> stream = LzhEncode(data.data(), data.size(), greedy ? kParseGreedy : kParseBest);
#else
    std::vector<uint8_t> stream = lzhkit::WriteStream((uint32_t)data.size(), lzhkit::GreedyTokens(data.data(), data.size()));
#endif
    testsupport::WriteFileBytes(cache, stream);
    return stream;
}

FILE *InputFile(const std::vector<uint8_t> &stream)
{
    return lzhkit::StreamFile(stream);
}

std::vector<uint8_t> source;
std::vector<uint8_t> stream;

void BM_LzhDecode(benchmark::State &state)
{
    FILE *in = InputFile(stream);
    FILE *out = fopen("/dev/null", "wb");
    ResetRecordedUi(kFileBarWidth, 0);
    recordedUi.recordFilePaints = false;
    for (auto _ : state) {
        rewind(in);
        if (!LzhDecode(in, out))
            state.SkipWithError("decode failed");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)kMemberSize);
    state.counters["coded_bytes"] = (double)stream.size();
    fclose(out);
    fclose(in);
}
BENCHMARK(BM_LzhDecode)->Unit(benchmark::kMillisecond);

/* One decode into a file, checked against the source. */
int DecodeOnce()
{
    FILE *in = InputFile(stream);
    FILE *out = tmpfile();
    ResetRecordedUi(kFileBarWidth, 0);
    recordedUi.recordFilePaints = false;
    int ok = LzhDecode(in, out);
    fflush(out);
    rewind(out);
    std::vector<uint8_t> got(kMemberSize + 1);
    size_t n = fread(got.data(), 1, got.size(), out);
    got.resize(n);
    fclose(out);
    fclose(in);
    if (!ok || got != source) {
        fprintf(stderr, "bench_decode: decode differs from the source\n");
        return 1;
    }
    printf("decoded %zu bytes from %zu coded bytes, %llu paints\n", kMemberSize, stream.size(),
           (unsigned long long)recordedUi.filePaintCount);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    source = SourceBytes();
    stream = MemberStream(source);
    if (argc > 1 && strcmp(argv[1], "--once") == 0)
        return DecodeOnce();
    if (DecodeOnce() != 0)
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
