/*
 * A file that list, verify and extract inspect in place: opened once, read in
 * small pieces at given offsets or in blocks from the start, never held whole
 * in memory (an installer may be hundreds of megabytes).
 */
#ifndef YELK_TOOLS_INPUTFILE_H
#define YELK_TOOLS_INPUTFILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct InputFile {
    FILE *stream = nullptr;   /* open for binary reading */
    uint64_t size = 0;        /* bytes in the file when it was opened */
};

/* Opens path; 1 on success; 0 and a report-ready reason ("path: No such
   file...") when it cannot be opened; -1 and the reason when it is no regular
   file (a pipe, a device, a folder; "-" when no file has that name): an
   installer is read from a file, never from standard input. */
int OpenInputFile(const std::string &path, InputFile *file, std::string *why);
extern const char kNotRegularText[];
void CloseInputFile(InputFile *file);

/* Reads count bytes at offset into out; 1 only when all of them are in the
   file and were read. */
int ReadAt(const InputFile &file, uint64_t offset, void *out, size_t count);

#endif
