/*
 * A bounded formatter for the installer's own texts (paths, captions, status
 * lines): setup32.exe routes snprintf here rather than carrying a C library
 * formatter or looking one up in the system's msvcrt at run time.
 */
#ifndef YELK_COMMON_FORMAT_H
#define YELK_COMMON_FORMAT_H

#include <cstdarg>
#include <cstddef>

/* vsnprintf for the formats the installer's texts use: %s (a precision given
   as .* cuts it), %d, %X (a 0 flag and a width pad them) and %%. At most
   size - 1 characters and a terminator are written; the result is the length
   of the whole text, so a result >= size shows that it was cut. */
int FormatTextV(char *out, size_t size, const char *format, va_list args);

/* Text n of texts that stand one after another, each ended by its zero (a
   table that needs no pointers); n must be below their number. */
const char *NthText(const char *texts, int n);

#endif
