#include "common/format.h"

#include <cstring>

int FormatTextV(char *out, size_t size, const char *format, va_list args)
{
    size_t length = 0;
    auto put = [&](char c) {
        if (length + 1 < size)
            out[length] = c;
        length++;
    };
    for (const char *f = format; *f != '\0'; f++) {
        const char *text = f;   /* a plain character, or the second % of %% */
        int count = 1, width = 0;
        char pad = ' ';
        char digits[12];
        if (*f == '%' && *++f != '%') {
            if (*f == '0')
                pad = *f++;
            while (*f >= '0' && *f <= '9')
                width = width * 10 + (*f++ - '0');
            int precision = -1;
            if (f[0] == '.' && f[1] == '*') {
                precision = va_arg(args, int);
                f += 2;
            }
            if (*f == 's') {
                text = va_arg(args, const char *);
                for (count = 0; count != precision && text[count] != '\0'; count++) {
                }
            } else {
                /* d, or X in capital hexadecimal digits */
                unsigned value = va_arg(args, unsigned), base = *f == 'X' ? 16 : 10;
                int negative = base == 10 && (int)value < 0;
                if (negative)
                    value = 0u - value;
                char *p = digits + sizeof digits;
                do {
                    *--p = "0123456789ABCDEF"[value % base];
                    value /= base;
                } while (value != 0);
                if (negative) {
                    /* Zeros go between the sign and the digits, spaces before it. */
                    if (pad == '0') {
                        put('-');
                        width--;
                    } else {
                        *--p = '-';
                    }
                }
                text = p;
                count = (int)(digits + sizeof digits - p);
            }
        }
        for (; width > count; width--)
            put(pad);
        for (int i = 0; i < count; i++)
            put(text[i]);
    }
    if (size > 0)
        out[length < size ? length : size - 1] = '\0';
    return (int)length;
}

const char *NthText(const char *texts, int n)
{
    for (; n > 0; n--)
        texts += strlen(texts) + 1;
    return texts;
}
