/* Reading a file in place (see inputfile.h). */
#include "tools/inputfile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int OpenInputFile(const std::string &path, InputFile *file, std::string *why)
{
    /* Opened without blocking: a FIFO would wait for a writer for ever. */
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int error = errno;
        if (path == "-" && error == ENOENT) {
            *why = "-: " + std::string(kNotRegularText);
            return -1;
        }
        *why = path + ": " + strerror(error);
        return 0;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = path + ": " + kNotRegularText;
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file->stream = fdopen(fd, "rb");
    if (!file->stream) {
        *why = path + ": " + strerror(errno);
        close(fd);
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

const char kNotRegularText[] =
    "not a regular file (an installer is read from a file, not from a pipe, a device or standard input)";
