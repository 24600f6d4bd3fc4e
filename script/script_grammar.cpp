#include "script/script_grammar.h"

#include <ctype.h>
#include <string.h>

#include "base/text.h"

// The keywords in the order of ScriptKeyword, which is the order the
// settings pass tests them: the first match decides. No keyword is a prefix
// of another, so every reader tells lines apart alike.
static const char KEYWORDS[] = ";\0GROUP=\0LINK=\0DESK=\0PRODUCT=\0KEY=\0DIR=\0COPY '\0INSTALL_DLLS\0"
                               "INSTALL_KEY=\0INSTALL_VALUE=\0DIR '\0";

ScriptKeyword lineKeyword(const char *line, const char **rest)
{
    const char *text = KEYWORDS;
    for (int keyword = KEYWORD_COMMENT; keyword <= KEYWORD_FOLDER; keyword++) {
        size_t length = strlen(text);
        if (strncmp(line, text, length) == 0) {
            *rest = line + length;
            return (ScriptKeyword)keyword;
        }
        text += length + 1;
    }
    *rest = line;
    return KEYWORD_NONE;
}

const char *keywordText(ScriptKeyword keyword)
{
    const char *text = KEYWORDS;
    for (int k = KEYWORD_COMMENT; k < keyword && k <= KEYWORD_FOLDER; k++)
        text += strlen(text) + 1;
    return keyword == KEYWORD_NONE || keyword > KEYWORD_FOLDER ? "" : text;
}

ScriptKeyword misplacedKeyword(const char *line)
{
    while (*line == ' ' || *line == '\t')
        line++;
    const char *text = KEYWORDS;
    for (int keyword = KEYWORD_COMMENT; keyword <= KEYWORD_FOLDER; text += strlen(text) + 1, keyword++) {
        size_t i = 0;
        while (text[i] != '\0' && toupper((unsigned char)line[i]) == text[i])
            i++;
        if (text[i] == '\0' && keyword != KEYWORD_COMMENT)
            return (ScriptKeyword)keyword;
    }
    return KEYWORD_NONE;
}

// Returns stored after setting *stop, when there is one, to why.
static int scanEnded(int stored, QuotedStop why, QuotedStop *stop)
{
    if (stop)
        *stop = why;
    return stored;
}

// The scan pattern %*[^"]" %[^"]" once per value.
int scanQuotedValues(const char *text, char *const *fields, int count, size_t fieldSize, QuotedStop *stop)
{
    for (int i = 0; i < count; i++) {
        size_t gap = strcspn(text, "\"");
        if (text[gap] != '"')
            return scanEnded(i, QUOTED_NO_VALUE, stop);
        if (gap == 0)
            return scanEnded(i, QUOTED_NO_GAP, stop);
        text += gap + 1;
        while (isspace((unsigned char)*text))
            text++;
        size_t length = strcspn(text, "\"");
        if (length == 0)
            return scanEnded(i, QUOTED_EMPTY, stop);
        size_t kept = length < fieldSize - 1 ? length : fieldSize - 1;
        memcpy(fields[i], text, kept);
        fields[i][kept] = '\0';
        if (kept < length)
            return scanEnded(i + 1, QUOTED_TOO_LONG, stop);
        if (text[length] != '"')
            return scanEnded(i + 1, QUOTED_UNCLOSED, stop);
        text += length + 1;
    }
    return scanEnded(count, QUOTED_ALL, stop);
}

bool readLineValue(const char *text, char *field, size_t size)
{
    bool fits = copyText(field, size, text);
    field[strcspn(field, "\n")] = '\0';
    return fits;
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

// The destination of a COPY line starts three characters after the
// apostrophe that closes the entry name: that apostrophe, the one-character
// gap, the destination's opening apostrophe. Null when there is no such
// apostrophe or the line ends before the destination.
static const char *copyDestinationStart(const char *rest)
{
    const char *nameEnd = strchr(rest, '\'');
    if (!nameEnd || nameEnd[1] == '\0' || nameEnd[2] == '\0')
        return 0;
    return nameEnd + 3;
}

LineStatus parseCopyLine(const char *rest, CopyLine *line)
{
    char work[PATH_SIZE];
    if (!copyText(work, sizeof work, rest))
        return LINE_TOO_LONG;
    if (!strchr(work, '\''))
        return LINE_NO_NAME_END;
    char *destination = (char *)copyDestinationStart(work);
    if (!destination || destination[-1] != '\'')
        return LINE_NO_GAP;
    destination[-3] = '\0';
    char *destinationEnd = strchr(destination, '\'');
    if (!destinationEnd)
        return LINE_NO_DESTINATION_END;
    *destinationEnd = '\0';
    if (!parseSize(destinationEnd + 1, &line->size))
        return LINE_NO_SIZE;
    copyText(line->entryName, sizeof line->entryName, work);
    copyText(line->destination, sizeof line->destination, destination);
    return LINE_OK;
}

LineStatus parseDirLine(const char *rest, char *folder, size_t size)
{
    char work[PATH_SIZE];
    if (!copyText(work, sizeof work, rest))
        return LINE_TOO_LONG;
    char *end = strchr(work, '\'');
    if (!end)
        return LINE_NO_NAME_END;
    *end = '\0';
    return copyText(folder, size, work) ? LINE_OK : LINE_TOO_LONG;
}

// A field of the uninstaller's reading: from start to the next apostrophe,
// or to the end of the line as read.
static bool takeField(const char *start, char *field, size_t size)
{
    size_t length = strcspn(start, "'");
    if (length >= size)
        return false;
    memcpy(field, start, length);
    field[length] = '\0';
    return true;
}

bool installedFileOfCopyLine(const char *rest, char *destination, size_t size)
{
    const char *start = copyDestinationStart(rest);
    return start && takeField(start, destination, size);
}

bool installedFolderOfDirLine(const char *rest, char *folder, size_t size)
{
    return takeField(rest, folder, size);
}
