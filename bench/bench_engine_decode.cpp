// The decoder alone on the members of a payload, for comparison with a whole
// headless installation of the same payload: each member stream is written to
// a temporary file and decoded from it into another file, through the same
// stdio streams that the engine's DecodeToFile uses. Under callgrind, collect
// only LzhDecode (--toggle-collect=LzhDecode*) to count the decoder's work.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/posix/ui_record.h"
#include "payload/lzhuf.h"

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: bench_engine_decode PAYLOAD\n");
        return 64;
    }
    FILE *f = fopen(argv[1], "rb");
    if (!f)
        return 74;
    std::vector<uint8_t> bytes;
    uint8_t block[65536];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    fclose(f);

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
    std::string member = base + ".lzh", out = base + ".out";

    recordedUi.recordFilePaints = false;
    int decoded = 0;
    for (size_t k = 0; k + 1 < at.size() && at[k + 1] > at[k] + 4; k++) {
        FILE *m = fopen(member.c_str(), "wb");
        fwrite(&bytes[at[k] + 4], 1, at[k + 1] - at[k] - 4, m);
        fclose(m);
        FILE *in = fopen(member.c_str(), "rb");
        FILE *o = fopen(out.c_str(), "wb");
        if (!in || !o || LzhDecode(in, o) != 1)
            return 1;
        fclose(o);
        fclose(in);
        decoded++;
    }
    remove(member.c_str());
    remove(out.c_str());
    printf("%d members decoded\n", decoded);
    return decoded > 0 ? 0 : 1;
}
