#include "script/script_lines.h"

#include <ctype.h>
#include <string.h>

#include "package/text.h"

bool startsWith(const char *line, const char *keyword)
{
    return strncmp(line, keyword, strlen(keyword)) == 0;
}

// Reads an unsigned decimal 32-bit number after optional whitespace.
static bool parseSize(const char *text, uint32_t *size)
{
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r')
        text++;
    if (*text < '0' || *text > '9')
        return false;
    uint64_t value = 0;
    for (; *text >= '0' && *text <= '9'; text++) {
        value = value * 10 + (uint64_t)(*text - '0');
        if (value > 0xFFFFFFFFu)
            return false;
    }
    *size = (uint32_t)value;
    return true;
}

LineStatus parseCopyLine(const char *afterKeyword, CopyLine *line)
{
    char work[260];
    if (!copyText(work, sizeof work, afterKeyword))
        return LINE_TOO_LONG;
    char *entryEnd = strchr(work, '\'');
    if (!entryEnd || entryEnd[1] == '\0' || entryEnd[2] != '\'')
        return LINE_MALFORMED;
    *entryEnd = '\0';
    char *destination = entryEnd + 3;     // apostrophe, separator, apostrophe
    char *destinationEnd = strchr(destination, '\'');
    if (!destinationEnd)
        return LINE_MALFORMED;
    *destinationEnd = '\0';
    if (!parseSize(destinationEnd + 1, &line->size))
        return LINE_MALFORMED;
    copyText(line->entryName, sizeof line->entryName, work);
    copyText(line->destination, sizeof line->destination, destination);
    return LINE_OK;
}

LineStatus parseDirLine(const char *afterKeyword, char *folder)
{
    char work[260];
    if (!copyText(work, sizeof work, afterKeyword))
        return LINE_TOO_LONG;
    char *end = strchr(work, '\'');
    if (!end)
        return LINE_MALFORMED;
    *end = '\0';
    copyText(folder, 260, work);
    return LINE_OK;
}

bool isPathInsideDestination(const char *path)
{
    if (path[0] == '\\' || path[0] == '/' || strchr(path, ':'))
        return false;
    const char *component = path;
    for (;;) {
        size_t length = strcspn(component, "\\/");
        if (length == 2 && component[0] == '.' && component[1] == '.')
            return false;
        if (component[length] == '\0')
            return true;
        component += length + 1;
    }
}

// The scan pattern %*[^"]" %[^"]" once per value; a value longer than its
// field is cut at 259 characters, and the scan stops there.
void scanQuotedValues(const char *text, char **fields, int count)
{
    for (int i = 0; i < count; i++) {
        size_t gap = strcspn(text, "\"");
        if (gap == 0 || text[gap] != '"')
            return;
        text += gap + 1;
        while (isspace((unsigned char)*text))
            text++;
        size_t length = strcspn(text, "\"");
        if (length == 0)
            return;
        size_t kept = length < 259 ? length : 259;
        memcpy(fields[i], text, kept);
        fields[i][kept] = '\0';
        if (kept < length || text[length] != '"')
            return;
        text += length + 1;
    }
}
