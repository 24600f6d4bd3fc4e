#include "package/text.h"

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

static char lowerAscii(char c)
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
