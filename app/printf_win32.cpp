/*
 * snprintf for setup32.exe. MinGW's C++ headers send every snprintf to
 * __mingw_vsnprintf, whose own formatter (floating point included) adds some
 * 20 KB to the installer, and whose thin replacement through msvcrt needs
 * _vscprintf, which older msvcrt versions lack and MinGW then looks up and
 * emulates. The installer's texts use a handful of formats: FormatTextV does
 * those. Linked into setup32.exe only.
 */
#include <cstdarg>
#include <cstddef>

#include "common/format.h"

extern "C" int __cdecl __mingw_vsnprintf(char *out, size_t size, const char *format, va_list args)
{
    return FormatTextV(out, size, format, args);
}
