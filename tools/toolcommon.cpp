/* What the yelkpack subcommands share: the report line, the progress line,
   file reading. */
#include "tools/yelkpack.h"
#include "tools/examine.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <unistd.h>


/* A progress line stands on the terminal, without its line break. */
static bool progressShown;

void ShowProgressLine(const char *format, ...)
{
    if (!isatty(STDERR_FILENO))
        return;
    va_list args;
    va_start(args, format);
    fputs("\ryelkpack: ", stderr);
    vfprintf(stderr, format, args);
    fputs("\033[K", stderr);   /* erase what a longer line left */
    fflush(stderr);
    va_end(args);
    progressShown = true;
}

void ClearProgressLine()
{
    if (progressShown)
        fputs("\r\033[K", stderr);
    progressShown = false;
}

int Report(int code, const char *format, ...)
{
    ClearProgressLine();
    va_list args;
    va_start(args, format);
    fputs("yelkpack: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    return code;
}

int ReadWholeFile(const std::string &path, std::vector<uint8_t> *bytes, std::string *why)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        *why = path + ": " + strerror(errno);
        return 0;
    }
    bytes->clear();
    uint8_t block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, f)) > 0)
        bytes->insert(bytes->end(), block, block + got);
    bool failed = ferror(f) != 0;
    fclose(f);
    if (failed) {
        *why = path + ": read error";
        return 0;
    }
    return 1;
}

int RefuseBackslash(const char *command, const std::string &name)
{
    if (name.find('\\') == std::string::npos)
        return 0;
    return Report(kExitUsage, "%s: '%s': a name with a backslash is not supported on this system", command,
                  name.c_str());
}
