// Fuzz target for LzhDecode: any bytes as a member stream, decoded into memory
// and held against the plain decode built from the public helpers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/support/lzhuf_kit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    /* Decoded sizes above 256 KiB only make runs slow: four output flushes
       are as many as there is anything to learn from. */
    uint32_t decoded = 0;
    if (size >= 4)
        decoded = data[0] | data[1] << 8 | data[2] << 16 | (uint32_t)data[3] << 24;
    if (decoded > (1u << 18))
        return 0;
    std::vector<uint8_t> stream(data, data + size);
    int width = size >= 5 ? data[4] : 0;   /* some bar width, often none */

    memset(lzh.ring, 0x5A, sizeof lzh.ring);
    lzhkit::Decoded fast = lzhkit::RunLzhDecode(stream, width);
    if (size < 4 || decoded == 0) {
        if (fast.ok || !fast.bytes.empty() || !fast.paints.empty())
            abort();
        return 0;
    }
    memset(lzh.ring, 0x5A, sizeof lzh.ring);
    lzhkit::Decoded plain = lzhkit::CapAtSize(lzhkit::ReferenceDecode(stream, width), decoded, width);
    if (!lzhkit::SameDecode(fast, plain))
        abort();
    return 0;
}
