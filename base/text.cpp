#include "base/text.h"

#include <stdarg.h>
#include <string.h>

bool copyText(char *buffer, size_t size, const char *source)
{
    if (size == 0)
        return false;
    size_t length = strlen(source);
    bool fits = length < size;
    if (!fits)
        length = size - 1;
    memcpy(buffer, source, length);
    buffer[length] = '\0';
    return fits;
}

bool appendText(char *buffer, size_t size, const char *source)
{
    size_t used = strnlen(buffer, size);
    if (used == size)
        return false;
    return copyText(buffer + used, size - used, source);
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

bool equalsIgnoreAsciiCase(const char *a, const char *b)
{
    for (; *a && *b; a++, b++)
        if (lowerAscii(*a) != lowerAscii(*b))
            return false;
    return *a == *b;
}

bool formatText(char *buffer, size_t size, const char *format, ...)
{
    if (size == 0)
        return false;
    buffer[0] = '\0';
    bool fits = true;
    va_list arguments;
    va_start(arguments, format);
    char piece[2] = {0, 0};
    for (const char *f = format; *f; f++) {
        if (f[0] == '%' && f[1] == 's') {
            fits = appendText(buffer, size, va_arg(arguments, const char *)) && fits;
            f++;
        } else if (f[0] == '%' && f[1] == 'd') {
            int value = va_arg(arguments, int);
            char digits[12];
            char *d = digits + sizeof digits - 1;
            *d = '\0';
            unsigned magnitude = value < 0 ? 0u - (unsigned)value : (unsigned)value;
            do {
                *--d = (char)('0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude);
            if (value < 0)
                *--d = '-';
            fits = appendText(buffer, size, d) && fits;
            f++;
        } else {
            piece[0] = *f;
            fits = appendText(buffer, size, piece) && fits;
        }
    }
    va_end(arguments);
    return fits;
}
