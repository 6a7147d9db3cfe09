/*
 * Just enough of the PE format to find one resource's bytes in an executable
 * read into memory: the section table and the three-level resource directory.
 */
#ifndef YELK_TOOLS_PEFILE_H
#define YELK_TOOLS_PEFILE_H

#include <cstddef>
#include <cstdint>

/* File offset and size of the resource of the given type and id (first
   language). 0 and why ("not a PE file", ...) when it cannot be found; every
   offset read from the file is checked against its length. */
int FindPeResource(const uint8_t *file, size_t length, uint32_t type, uint32_t id,
                   uint64_t *offset, uint32_t *size, const char **why);

#endif
