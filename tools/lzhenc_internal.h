/*
 * Encoder settings beyond LzhEncode's, for the packer's own tests and
 * benchmarks: switching the marker guard off to show what it prevents, a
 * stand-in for the size field, and counters of the guard's work.
 */
#ifndef YELK_TOOLS_LZHENC_INTERNAL_H
#define YELK_TOOLS_LZHENC_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/lzhenc.h"
#include "payload/marker.h"

struct EncodeStats {
    uint64_t conflicts = 0;     /* times a finished byte completed the marker */
    uint64_t trials = 0;        /* other tokens tried to get around one */
    uint64_t paddingBytes = 0;  /* bytes appended after the coded bits */
    uint64_t tokens = 0;        /* tokens in the stream */
    uint64_t matches = 0;       /* of which matches */
};

struct EncodeOptions {
    EncodeParse parse = kParseBest;
    bool avoidMarker = true;        /* false: code as if there were no marker */
    const uint8_t *head = nullptr;  /* 4 bytes written instead of the size field */
    EncodeStats *stats = nullptr;   /* filled when given */
    /* Best parse: times each block may be parsed, the later ones under the
       prices of the model the one before leaves behind; the first that codes
       no shorter ends it. Benchmarks use it to show what re-costing gains. */
    int costRounds = 1;
    /* A parse to follow instead of the encoder's own: at each input offset the
       length of the token that starts there (1 for a literal, 0 where none
       starts) and its coded distance. Tests use it to build streams that would
       carry the marker. */
    const uint8_t *planLen = nullptr;
    const uint16_t *planDist = nullptr;
};

/* LzhEncode with options; empty when no stream obeying the marker rules was
   found (only possible with avoidMarker). */
std::vector<uint8_t> LzhEncodeWith(const uint8_t *data, size_t size, const EncodeOptions &options);

/* The member marker's bytes (BuildMarker's), and the rule checks every
   stream must pass. */
const uint8_t *MarkerBytes();
/* Offset of the first marker in bytes, or -1. */
long FindMarker(const uint8_t *bytes, size_t length);
/* 1, 2 or 3 when bytes end with that many leading bytes of the marker, else 0. */
int MarkerPrefixAtEnd(const uint8_t *bytes, size_t length);

#endif
