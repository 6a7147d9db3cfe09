#include "common/format.h"

int FormatTextV(char *out, size_t size, const char *format, va_list args)
{
    size_t length = 0;
    auto put = [&](char c) {
        if (length + 1 < size)
            out[length] = c;
        length++;
    };
    for (const char *f = format; *f != '\0'; f++) {
        if (*f != '%') {
            put(*f);
            continue;
        }
        f++;
        char pad = ' ';
        if (*f == '0') {
            pad = '0';
            f++;
        }
        int width = 0;
        while (*f >= '0' && *f <= '9')
            width = width * 10 + (*f++ - '0');
        int precision = -1;
        if (*f == '.') {
            f++;
            precision = 0;
            if (*f == '*') {
                precision = va_arg(args, int);
                f++;
            }
            while (*f >= '0' && *f <= '9')
                precision = precision * 10 + (*f++ - '0');
        }
        char digits[12];
        char *end = digits + sizeof digits;
        const char *text = end;
        int count = 0;
        switch (*f) {
        case 's':
            text = va_arg(args, const char *);
            while ((precision < 0 || count < precision) && text[count] != '\0')
                count++;
            break;
        case 'c':
            digits[0] = (char)va_arg(args, int);
            text = digits;
            count = 1;
            break;
        case 'd':
        case 'u':
        case 'x':
        case 'X': {
            unsigned value = va_arg(args, unsigned);
            int negative = *f == 'd' && (int)value < 0;
            if (negative)
                value = 0u - value;
            unsigned base = *f == 'x' || *f == 'X' ? 16 : 10;
            char *p = end;
            do {
                unsigned digit = value % base;
                *--p = (char)(digit < 10 ? '0' + digit : (*f == 'x' ? 'a' : 'A') + digit - 10);
                value /= base;
            } while (value != 0);
            if (negative) {
                if (pad == '0') {
                    put('-');
                    width--;
                } else {
                    *--p = '-';
                }
            }
            text = p;
            count = (int)(end - p);
            break;
        }
        case '%':
            put('%');
            continue;
        default:
            /* Not a format this formatter knows, or the end of the text. */
            if (*f == '\0')
                f--;
            continue;
        }
        for (int i = count; i < width; i++)
            put(pad);
        for (int i = 0; i < count; i++)
            put(text[i]);
    }
    if (size > 0)
        out[length < size ? length : size - 1] = '\0';
    return (int)length;
}
