/* Laying member streams out as a payload: marker, stream, ..., the marker
   twice, CR LF. */
#include "tools/lzhenc.h"
#include "tools/lzhenc_internal.h"

std::vector<uint8_t> BuildPayload(const std::vector<std::vector<uint8_t>> &streams)
{
    std::vector<uint8_t> payload;
    for (const std::vector<uint8_t> &s : streams) {
        payload.insert(payload.end(), MarkerBytes(), MarkerBytes() + kMarkerLength);
        payload.insert(payload.end(), s.begin(), s.end());
    }
    payload.insert(payload.end(), MarkerBytes(), MarkerBytes() + kMarkerLength);
    payload.insert(payload.end(), MarkerBytes(), MarkerBytes() + kMarkerLength);
    payload.push_back('\r');
    payload.push_back('\n');
    return payload;
}
