/*
 * Just enough of the PE format to inspect an installer in place: the section
 * table, the three-level resource directory (to find one resource's bytes),
 * and the security directory that an Authenticode signature fills in. Every
 * offset read from the file is checked against its length before it is used.
 */
#ifndef YELK_TOOLS_PEFILE_H
#define YELK_TOOLS_PEFILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/inputfile.h"

struct PeSection {
    char name[9];                 /* zero-terminated */
    uint32_t rva, virtualSize;    /* where it is loaded */
    uint32_t rawOffset, rawSize;  /* where its bytes lie in the file */
};

struct PeLayout {
    uint64_t headersEnd = 0;          /* bytes the headers take, section table included */
    std::vector<PeSection> sections;  /* in the order of the section table */
    uint32_t resourceRva = 0;         /* resource directory; 0 when there is none */
    uint32_t certOffset = 0;          /* certificate table: a file offset, not an RVA */
    uint32_t certSize = 0;            /* its length; 0 when the file is not signed */
    uint64_t checksumOffset = 0;      /* file offset of the header's checksum field */
    uint32_t checksum = 0;            /* its value; 0 when none was set */
    std::string damage;               /* with kPeDamaged: which header field is impossible */
};

enum PeRead {
    kPeOk,          /* headers read into the layout */
    kPeNotPe,       /* no MZ and PE signatures, or headers no PE file has */
    kPeCutShort,    /* the file ends inside its own headers */
    kPeDamaged      /* headers that contradict each other: damage, not a short file */
};

PeRead ReadPeLayout(const InputFile &file, PeLayout *layout);

/* The PE checksum of the file as the system's image checker computes it: the
   16-bit words of the file summed with their carries folded back (the
   checksum field counted as 0), plus the file's length. 0 and a reason when
   the file cannot be read. */
int ComputePeChecksum(const InputFile &file, const PeLayout &layout, uint32_t *sum);

/* File offset and size of the resource of the given type and id (first
   language). 0 and why ("no such resource", ...) when it cannot be found. */
int FindPeResource(const InputFile &file, const PeLayout &layout, uint32_t type, uint32_t id,
                   uint64_t *offset, uint32_t *size, const char **why);

/* bytes with every byte outside printable ASCII, and the backslash, written
   as \xNN: text from a file never reaches a terminal raw. */
std::string EscapedText(const char *bytes, size_t length);

/* Where a file of fileSize bytes ends short of what its headers describe:
   "inside section .rsrc (bytes 37888 to 59903)", "before ...", "inside the
   certificate table (...)"; "" when every section and the certificate table
   are whole. */
std::string PeCutShort(const PeLayout &layout, uint64_t fileSize);

#endif
