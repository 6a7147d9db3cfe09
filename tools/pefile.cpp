/* Locating a resource in a PE file held in memory (see pefile.h). */
#include "pefile.h"

namespace {

struct Reader {
    const uint8_t *file;
    size_t length;

    bool Has(uint64_t offset, uint64_t count) const { return offset <= length && count <= length - offset; }
    uint32_t U16(uint64_t o) const { return (uint32_t)file[o] | (uint32_t)file[o + 1] << 8; }
    uint32_t U32(uint64_t o) const { return U16(o) | U16(o + 2) << 16; }
};

struct Section {
    uint32_t rva, virtualSize, rawSize, rawOffset;
};

}  // namespace

static const int kResourceDirectory = 2;   /* index in the optional header's data directories */
static const uint32_t kSubdirectoryBit = 0x80000000u;

int FindPeResource(const uint8_t *file, size_t length, uint32_t type, uint32_t id,
                   uint64_t *offset, uint32_t *size, const char **why)
{
    Reader r{file, length};
    *why = "not a PE file";
    if (!r.Has(0, 0x40) || file[0] != 'M' || file[1] != 'Z')
        return 0;
    uint64_t pe = r.U32(0x3C);
    if (!r.Has(pe, 24) || r.U32(pe) != 0x00004550u)
        return 0;
    uint32_t sectionCount = r.U16(pe + 6);
    uint32_t optionalSize = r.U16(pe + 20);
    uint64_t opt = pe + 24;
    if (!r.Has(opt, optionalSize) || optionalSize < 2)
        return 0;
    uint32_t magic = r.U16(opt);
    uint64_t dirs = magic == 0x10B ? opt + 96 : magic == 0x20B ? opt + 112 : 0;
    if (!dirs || dirs + 8 * (kResourceDirectory + 1) > opt + optionalSize) {
        *why = "no resource directory";
        return 0;
    }
    uint32_t resRva = r.U32(dirs + 8 * kResourceDirectory);
    uint64_t sections = opt + optionalSize;
    if (!r.Has(sections, 40ull * sectionCount))
        return 0;

    /* File offset of an RVA through the section that holds it; ~0 if none. */
    auto toOffset = [&](uint32_t rva, uint32_t count) -> uint64_t {
        for (uint32_t s = 0; s < sectionCount; s++) {
            uint64_t h = sections + 40ull * s;
            Section sec{r.U32(h + 12), r.U32(h + 8), r.U32(h + 16), r.U32(h + 20)};
            uint32_t span = sec.virtualSize > sec.rawSize ? sec.rawSize : sec.virtualSize;
            if (span == 0)
                span = sec.rawSize;
            if (rva >= sec.rva && (uint64_t)rva - sec.rva + count <= span) {
                uint64_t o = (uint64_t)sec.rawOffset + (rva - sec.rva);
                return r.Has(o, count) ? o : ~0ull;
            }
        }
        return ~0ull;
    };

    *why = "no resource directory";
    uint64_t root = toOffset(resRva, 16);
    if (resRva == 0 || root == ~0ull)
        return 0;

    /* One level of the directory: the entry for key (an id), or 0. */
    auto entry = [&](uint64_t dir, uint32_t key, uint32_t *value) -> bool {
        if (!r.Has(dir, 16))
            return false;
        uint32_t named = r.U16(dir + 12), ids = r.U16(dir + 14);
        for (uint32_t k = 0; k < named + ids; k++) {
            uint64_t e = dir + 16 + 8ull * k;
            if (!r.Has(e, 8))
                return false;
            uint32_t name = r.U32(e);
            if (key == ~0u || (!(name & kSubdirectoryBit) && name == key)) {
                *value = r.U32(e + 4);
                return true;
            }
        }
        return false;
    };

    *why = "no such resource";
    uint32_t v;
    if (!entry(root, type, &v) || !(v & kSubdirectoryBit))
        return 0;
    if (!entry(root + (v & ~kSubdirectoryBit), id, &v) || !(v & kSubdirectoryBit))
        return 0;
    if (!entry(root + (v & ~kSubdirectoryBit), ~0u, &v) || (v & kSubdirectoryBit))
        return 0;
    uint64_t data = root + v;
    if (!r.Has(data, 16))
        return 0;
    uint32_t dataRva = r.U32(data), dataSize = r.U32(data + 4);
    uint64_t o = toOffset(dataRva, dataSize);
    if (o == ~0ull) {
        *why = "resource data outside the file";
        return 0;
    }
    *offset = o;
    *size = dataSize;
    *why = "";
    return 1;
}
