/* Reading a file in place (see inputfile.h). */
#include "tools/inputfile.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

int OpenInputFile(const std::string &path, InputFile *file, std::string *why)
{
    file->stream = fopen(path.c_str(), "rb");
    if (!file->stream) {
        *why = path + ": " + strerror(errno);
        return 0;
    }
    struct stat st;
    if (fstat(fileno(file->stream), &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = path + ": not a regular file";
        CloseInputFile(file);
        return 0;
    }
    file->size = (uint64_t)st.st_size;
    return 1;
}

void CloseInputFile(InputFile *file)
{
    if (file->stream)
        fclose(file->stream);
    file->stream = nullptr;
}

int ReadAt(const InputFile &file, uint64_t offset, void *out, size_t count)
{
    if (offset > file.size || count > file.size - offset)
        return 0;
    if (fseeko(file.stream, (off_t)offset, SEEK_SET) != 0)
        return 0;
    return fread(out, 1, count, file.stream) == count;
}
