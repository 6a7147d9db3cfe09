/* Shared test helpers (filebytes.h). */
#include "tests/support/filebytes.h"

#include <cstdio>

#include "payload/lzhuf.h"

namespace testsupport {

static Bytes StreamBytes(FILE *f)
{
    Bytes out;
    uint8_t block[65536];
    size_t n;
    while ((n = fread(block, 1, sizeof block, f)) > 0)
        out.insert(out.end(), block, block + n);
    return out;
}

Bytes ReadFileBytes(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return Bytes();
    Bytes out = StreamBytes(f);
    fclose(f);
    return out;
}

bool WriteFileBytes(const std::string &path, const Bytes &bytes)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool DecodeStream(const Bytes &stream, Bytes *out)
{
    out->clear();
    FILE *in = tmpfile();
    FILE *o = tmpfile();
    bool ok = in && o;
    if (ok) {
        fwrite(stream.data(), 1, stream.size(), in);
        rewind(in);
        ok = LzhDecode(in, o) == 1;
        rewind(o);
        *out = StreamBytes(o);
    }
    if (in)
        fclose(in);
    if (o)
        fclose(o);
    return ok;
}

}  // namespace testsupport
