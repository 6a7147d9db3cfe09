/*
 * snprintf for setup32.exe through the system's msvcrt. MinGW's C++ headers send
 * every snprintf to __mingw_vsnprintf, whose own formatter (floating point
 * included) adds some 20 KB to the installer; its formats are only %s, %d and
 * %.*s, which msvcrt formats the same way. Linked into setup32.exe only.
 */
#include <cstdarg>
#include <cstdio>

/* C99 semantics: at most size - 1 characters and a terminator; the result is
   the length the whole text has, so a result >= size shows it was cut. */
extern "C" int __cdecl __mingw_vsnprintf(char *out, size_t size, const char *format, va_list args)
{
    va_list again;
    va_copy(again, args);
    int length = _vscprintf(format, again);
    va_end(again);
    if (size > 0) {
        int written = _vsnprintf(out, size - 1, format, args);
        if (written < 0 || (size_t)written >= size - 1)
            out[size - 1] = '\0';
    }
    return length;
}
