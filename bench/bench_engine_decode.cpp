// The decoder alone on the members of a payload, for comparison with a whole
// headless installation of the same payload: each member stream is written to
// a temporary file and decoded from it into another file, through the same
// stdio streams that the engine's DecodeToFile uses. Under callgrind, collect
// only LzhDecode (--toggle-collect=LzhDecode*) to count the decoder's work.
//
// With --classic, each member is decoded by the 1989 program's way instead
// (bench/classic_lzhuf.cpp; collect ClassicDecode*), and then by LzhDecode,
// outside the collected part, to check that both give the same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/classic_lzhuf.h"
#include "common/posix/ui_record.h"
#include "payload/lzhuf.h"

static std::vector<uint8_t> ReadAll(const std::string &path)
{
    std::vector<uint8_t> bytes;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    uint8_t block[65536];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    fclose(f);
    return bytes;
}

/* One member from the file member into the file out, by LzhDecode or the
   classic way. */
static bool Decode(const std::string &member, const std::string &out, bool classic)
{
    FILE *in = fopen(member.c_str(), "rb");
    FILE *o = fopen(out.c_str(), "wb");
    bool ok = in && o;
    if (ok)
        ok = classic ? ClassicDecode(in, o, stdout) > 0 : LzhDecode(in, o) == 1;
    if (o && fclose(o) != 0)
        ok = false;
    if (in)
        fclose(in);
    return ok;
}

int main(int argc, char **argv)
{
    bool classic = argc == 3 && strcmp(argv[1], "--classic") == 0;
    if (argc != 2 && !classic) {
        fprintf(stderr, "usage: bench_engine_decode [--classic] PAYLOAD\n");
        return 64;
    }
    std::vector<uint8_t> bytes = ReadAll(argv[argc - 1]);
    if (bytes.empty())
        return 74;

    // The packer's payloads hold the marker only between members.
    const uint8_t marker[4] = {'A', 'R', 'N', 'I'};
    std::vector<size_t> at;
    for (size_t i = 0; i + 4 <= bytes.size(); i++)
        if (memcmp(&bytes[i], marker, 4) == 0) {
            at.push_back(i);
            i += 3;
        }
    const char *tmp = getenv("TMPDIR");
    std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/yelk-bench-decode";
    std::string member = base + ".lzh", out = base + ".out", check = base + ".check";

    recordedUi.recordFilePaints = false;
    int decoded = 0;
    for (size_t k = 0; k + 1 < at.size() && at[k + 1] > at[k] + 4; k++) {
        FILE *m = fopen(member.c_str(), "wb");
        if (!m)
            return 74;
        fwrite(&bytes[at[k] + 4], 1, at[k + 1] - at[k] - 4, m);
        fclose(m);
        if (!Decode(member, out, classic))
            return 1;
        if (classic && (!Decode(member, check, false) || ReadAll(out) != ReadAll(check))) {
            fprintf(stderr, "bench_engine_decode: member %zu decodes to other bytes the classic way\n", k + 1);
            return 1;
        }
        decoded++;
    }
    remove(member.c_str());
    remove(out.c_str());
    remove(check.c_str());
    printf("%d members decoded%s\n", decoded, classic ? " the classic way, each as LzhDecode decodes it" : "");
    return decoded > 0 ? 0 : 1;
}
