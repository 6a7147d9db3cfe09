/* Reading the PE headers of a file in place (see pefile.h). */
#include "tools/pefile.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

static const int kResourceDirectory = 2;   /* indexes in the optional header's data directories */
static const int kSecurityDirectory = 4;
static const uint32_t kSubdirectoryBit = 0x80000000u;
static const uint32_t kMaxSections = 96;   /* the most a Windows loader takes */
static const uint32_t kMaxOptionalSize = 112 + 16 * 8;   /* PE32+ with all sixteen data directories */

static uint32_t U16(const uint8_t *p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
static uint32_t U32(const uint8_t *p) { return U16(p) | U16(p + 2) << 16; }

PeRead ReadPeLayout(const InputFile &file, PeLayout *layout)
{
    *layout = PeLayout();
    /* Once the file starts with "MZ", a piece of the headers that is not in
       the file means the file was cut short. */
    uint8_t dos[0x40];
    if (file.size < 2 || !ReadAt(file, 0, dos, 2) || dos[0] != 'M' || dos[1] != 'Z')
        return kPeNotPe;
    if (!ReadAt(file, 0, dos, sizeof dos))
        return kPeCutShort;
    uint64_t pe = U32(dos + 0x3C);
    uint8_t head[24];
    /* Linkers put the PE header within the first few hundred bytes; an offset
       far beyond that is no PE file rather than one cut short. */
    if (!ReadAt(file, pe, head, sizeof head))
        return pe < (1u << 16) ? kPeCutShort : kPeNotPe;
    if (U32(head) != 0x00004550u)
        return kPeNotPe;
    uint32_t sectionCount = U16(head + 6);
    uint32_t optionalSize = U16(head + 20);
    if (optionalSize < 2)
        return kPeNotPe;
    /* Fields that no loader accepts are damage: the file is not shorter than
       they make it look. */
    char text[160];
    if (sectionCount == 0 || sectionCount > kMaxSections) {
        snprintf(text, sizeof text, "damaged PE headers: %u sections (1 to %u are possible)", (unsigned)sectionCount,
                 (unsigned)kMaxSections);
        layout->damage = text;
        return kPeDamaged;
    }
    if (optionalSize > kMaxOptionalSize) {
        snprintf(text, sizeof text, "damaged PE headers: an optional header of %u bytes (at most %u)",
                 (unsigned)optionalSize, (unsigned)kMaxOptionalSize);
        layout->damage = text;
        return kPeDamaged;
    }
    uint64_t opt = pe + 24;
    std::vector<uint8_t> optional(optionalSize);
    uint64_t sections = opt + optionalSize;
    layout->headersEnd = sections + 40ull * sectionCount;
    if (!ReadAt(file, opt, optional.data(), optionalSize))
        return kPeCutShort;
    uint32_t magic = U16(optional.data());
    uint32_t dirs = magic == 0x10B ? 96 : magic == 0x20B ? 112 : 0;
    if (dirs == 0)
        return kPeNotPe;
    uint32_t dirCount = optionalSize >= dirs ? U32(optional.data() + dirs - 4) : 0;
    if (optionalSize < dirs || dirCount > 16 || optionalSize != dirs + 8 * dirCount) {
        snprintf(text, sizeof text, "damaged PE headers: an optional header of %u bytes with %u data directories",
                 (unsigned)optionalSize, (unsigned)dirCount);
        layout->damage = text;
        return kPeDamaged;
    }
    layout->checksumOffset = opt + 64;
    layout->checksum = U32(optional.data() + 64);
    uint64_t tableEnd = layout->headersEnd;
    uint32_t sizeOfHeaders = U32(optional.data() + 60);
    uint32_t fileAlignment = U32(optional.data() + 36);
    if (sizeOfHeaders < tableEnd) {
        snprintf(text, sizeof text, "damaged PE headers: a header size of %u bytes, but the section table ends at byte %" PRIu64,
                 (unsigned)sizeOfHeaders, tableEnd);
        layout->damage = text;
        return kPeDamaged;
    }
    layout->headersEnd = sizeOfHeaders;
    if (dirs + 8 * (kResourceDirectory + 1) <= optionalSize)
        layout->resourceRva = U32(optional.data() + dirs + 8 * kResourceDirectory);
    if (dirs + 8 * (kSecurityDirectory + 1) <= optionalSize) {
        layout->certOffset = U32(optional.data() + dirs + 8 * kSecurityDirectory);
        layout->certSize = U32(optional.data() + dirs + 8 * kSecurityDirectory + 4);
        if (layout->certSize == 0)
            layout->certOffset = 0;
    }
    for (uint32_t s = 0; s < sectionCount; s++) {
        uint8_t h[40];
        if (!ReadAt(file, sections + 40ull * s, h, sizeof h))
            return kPeCutShort;
        PeSection sec;
        memcpy(sec.name, h, 8);
        sec.name[8] = '\0';
        sec.virtualSize = U32(h + 8);
        sec.rva = U32(h + 12);
        sec.rawSize = U32(h + 16);
        sec.rawOffset = U32(h + 20);
        layout->sections.push_back(sec);
    }
    /* Section data starts after the headers, at a multiple of the file
       alignment. */
    for (const PeSection &sec : layout->sections) {
        if (sec.rawSize == 0)
            continue;
        if (sec.rawOffset < sizeOfHeaders) {
            snprintf(text, sizeof text, "damaged PE headers: a header size of %u bytes runs into section %s at byte %u",
                     (unsigned)sizeOfHeaders, EscapedText(sec.name, strlen(sec.name)).c_str(), (unsigned)sec.rawOffset);
            layout->damage = text;
            return kPeDamaged;
        }
        if (fileAlignment != 0 && sec.rawOffset % fileAlignment != 0) {
            snprintf(text, sizeof text, "damaged PE headers: section %s at byte %u, not a multiple of the file alignment %u",
                     EscapedText(sec.name, strlen(sec.name)).c_str(), (unsigned)sec.rawOffset, (unsigned)fileAlignment);
            layout->damage = text;
            return kPeDamaged;
        }
    }
    return kPeOk;
}

/* File offset of count bytes at an RVA, through the section that holds them;
   ~0 when no section does or the file does not reach that far. */
static uint64_t RvaToOffset(const InputFile &file, const PeLayout &layout, uint32_t rva, uint32_t count)
{
    for (const PeSection &sec : layout.sections) {
        uint32_t span = sec.virtualSize > sec.rawSize ? sec.rawSize : sec.virtualSize;
        if (span == 0)
            span = sec.rawSize;
        if (rva >= sec.rva && (uint64_t)rva - sec.rva + count <= span) {
            uint64_t o = (uint64_t)sec.rawOffset + (rva - sec.rva);
            return o <= file.size && count <= file.size - o ? o : ~0ull;
        }
    }
    return ~0ull;
}

/* One level of the resource directory at dir: the value of the entry for key
   (an id; ~0 takes the first entry). */
static bool DirectoryEntry(const InputFile &file, uint64_t dir, uint32_t key, uint32_t *value)
{
    uint8_t h[16];
    if (!ReadAt(file, dir, h, sizeof h))
        return false;
    uint32_t entries = U16(h + 12) + U16(h + 14);
    for (uint32_t k = 0; k < entries; k++) {
        uint8_t e[8];
        if (!ReadAt(file, dir + 16 + 8ull * k, e, sizeof e))
            return false;
        uint32_t name = U32(e);
        if (key == ~0u || (!(name & kSubdirectoryBit) && name == key)) {
            *value = U32(e + 4);
            return true;
        }
    }
    return false;
}

int FindPeResource(const InputFile &file, const PeLayout &layout, uint32_t type, uint32_t id,
                   uint64_t *offset, uint32_t *size, const char **why)
{
    *why = "no resource directory";
    uint64_t root = layout.resourceRva ? RvaToOffset(file, layout, layout.resourceRva, 16) : ~0ull;
    if (root == ~0ull)
        return 0;

    *why = "no such resource";
    uint32_t v;
    if (!DirectoryEntry(file, root, type, &v) || !(v & kSubdirectoryBit))
        return 0;
    if (!DirectoryEntry(file, root + (v & ~kSubdirectoryBit), id, &v) || !(v & kSubdirectoryBit))
        return 0;
    if (!DirectoryEntry(file, root + (v & ~kSubdirectoryBit), ~0u, &v) || (v & kSubdirectoryBit))
        return 0;
    uint8_t data[16];
    if (!ReadAt(file, root + v, data, sizeof data))
        return 0;
    uint32_t dataRva = U32(data), dataSize = U32(data + 4);
    uint64_t o = RvaToOffset(file, layout, dataRva, dataSize);
    if (o == ~0ull) {
        *why = "resource data outside the file";
        return 0;
    }
    *offset = o;
    *size = dataSize;
    *why = "";
    return 1;
}

std::string PeCutShort(const PeLayout &layout, uint64_t fileSize)
{
    if (fileSize < layout.headersEnd)
        return "inside its headers";
    struct Part {
        std::string name;
        uint64_t start, length;
    };
    std::vector<Part> parts;
    for (const PeSection &sec : layout.sections)
        parts.push_back({"section " + EscapedText(sec.name, strlen(sec.name)), sec.rawOffset, sec.rawSize});
    parts.push_back({"the certificate table", layout.certOffset, layout.certSize});
    /* Of the parts that reach past the end of the file, the one that starts
       first is where the file breaks off. */
    const Part *first = nullptr;
    for (const Part &p : parts)
        if (p.length > 0 && p.start + p.length > fileSize && (!first || p.start < first->start))
            first = &p;
    if (!first)
        return "";
    char text[160];
    snprintf(text, sizeof text, "%s %s (bytes %" PRIu64 " to %" PRIu64 ")", fileSize > first->start ? "inside" : "before",
             first->name.c_str(), first->start, first->start + first->length - 1);
    return text;
}

int ComputePeChecksum(const InputFile &file, const PeLayout &layout, uint32_t *sum)
{
    static uint8_t block[65536];
    uint64_t total = 0, at = 0;
    if (fseeko(file.stream, 0, SEEK_SET) != 0)
        return 0;
    size_t got;
    while ((got = fread(block, 1, sizeof block, file.stream)) > 0) {
        /* The field lies at an even offset inside the headers, which the
           first block holds whole. */
        if (at == 0 && layout.checksumOffset + 4 <= got)
            memset(block + layout.checksumOffset, 0, 4);
        if (got % 2)
            block[got++] = 0;   /* only the file's last block can be odd */
        for (size_t i = 0; i < got; i += 2) {
            total += (uint32_t)block[i] | (uint32_t)block[i + 1] << 8;
            total = (total & 0xFFFF) + (total >> 16);
        }
        at += got;
    }
    if (ferror(file.stream))
        return 0;
    total = (total & 0xFFFF) + (total >> 16);
    *sum = (uint32_t)(total + file.size);
    return 1;
}

std::string EscapedText(const char *bytes, size_t length)
{
    std::string out;
    for (size_t k = 0; k < length; k++) {
        unsigned char c = (unsigned char)bytes[k];
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += (char)c;
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}
