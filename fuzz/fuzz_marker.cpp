// Fuzz target for the marker matcher: MatchMarker, fed in blocks of random
// sizes, against a plain byte-at-a-time matcher on the same bytes. Input
// bytes 0 to 3 stand for the marker's first 1 to 4 bytes, so whole, partial
// and back-to-back markers are everywhere; the first two bytes seed the
// block sizes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "payload/marker.h"

namespace {

const int kMarkerEnd = -1;   /* stands for a whole marker in an event list */

/* The matcher written plainly: member bytes in order, kMarkerEnd after each
   marker; *held is what is left held back at the end. */
std::vector<int> PlainEvents(const uint8_t *marker, const std::vector<uint8_t> &data, int *held)
{
    std::vector<int> events;
    int matched = 0;
    for (uint8_t b : data) {
        if (b == marker[matched]) {
            if (++matched == kMarkerLength) {
                events.push_back(kMarkerEnd);
                matched = 0;
            }
            continue;
        }
        for (int k = 0; k < matched; k++)
            events.push_back(marker[k]);
        events.push_back(b);
        matched = 0;
    }
    *held = matched;
    return events;
}

std::vector<int> BlockEvents(const uint8_t *marker, const std::vector<uint8_t> &data, uint32_t seed, int *held)
{
    std::vector<int> events;
    MarkerMatcher matcher = StartMatcher(marker);
    size_t at = 0;
    while (at < data.size()) {
        seed = seed * 1103515245u + 12345u;
        size_t block = 1 + (seed >> 16) % 37;
        if (block > data.size() - at)
            block = data.size() - at;
        const uint8_t *p = data.data() + at;
        for (size_t used = 0; used < block;) {
            MarkerRun run = MatchMarker(matcher, p + used, block - used);
            for (int k = 0; k < run.released; k++)
                events.push_back(marker[k]);
            for (size_t k = 0; k < run.memberBytes; k++)
                events.push_back(p[used + k]);
            if (run.markerEnded)
                events.push_back(kMarkerEnd);
            if (run.consumed == 0 || run.consumed > block - used)
                abort();
            used += run.consumed;
        }
        at += block;
    }
    *held = matcher.held;
    return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    char text[kMarkerLength + 1];
    BuildMarker(text);
    const uint8_t *marker = reinterpret_cast<const uint8_t *>(text);
    if (size < 2)
        return 0;
    uint32_t seed = input[0] | input[1] << 8;
    std::vector<uint8_t> data;
    for (size_t i = 2; i < size; i++) {
        if (input[i] < kMarkerLength)
            data.insert(data.end(), marker, marker + input[i] + 1);
        else
            data.push_back(input[i]);
    }
    int plainHeld = 0, blockHeld = 0;
    if (PlainEvents(marker, data, &plainHeld) != BlockEvents(marker, data, seed, &blockHeld) ||
        plainHeld != blockHeld)
        abort();
    return 0;
}
