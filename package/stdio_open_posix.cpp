// Files by Windows names on POSIX (the native quillpack and the host build):
// '\' becomes '/', and streams opened in text mode behave as the Windows
// runtime's do. A text stream reads CR LF as LF and stops at Ctrl-Z, writes LF
// as CR LF, and its position counts bytes of the file. It is an unbuffered
// cookie stream over a binary one, so ftell on it asks the underlying file.

#include "package/stdio_open.h"

#include <stdlib.h>
#include <string.h>

static ssize_t readText(void *cookie, char *buffer, size_t size)
{
    FILE *raw = (FILE *)cookie;
    size_t n = 0;
    while (n < size) {
        int c = getc(raw);
        if (c == EOF)
            break;
        if (c == 0x1A) {                 // Ctrl-Z ends text-mode input
            ungetc(c, raw);
            break;
        }
        if (c == '\r') {
            int next = getc(raw);
            if (next == '\n')
                c = '\n';
            else if (next != EOF)
                ungetc(next, raw);
        }
        buffer[n++] = (char)c;
    }
    return ferror(raw) ? -1 : (ssize_t)n;
}

static ssize_t writeText(void *cookie, const char *buffer, size_t size)
{
    FILE *raw = (FILE *)cookie;
    for (size_t i = 0; i < size; i++) {
        if (buffer[i] == '\n' && putc('\r', raw) == EOF)
            return -1;
        if (putc(buffer[i], raw) == EOF)
            return -1;
    }
    return (ssize_t)size;
}

static int seekText(void *cookie, off64_t *offset, int origin)
{
    FILE *raw = (FILE *)cookie;
    if (fseeko(raw, *offset, origin) != 0)
        return -1;
    *offset = ftello(raw);
    return 0;
}

static int closeText(void *cookie)
{
    return fclose((FILE *)cookie);
}

FILE *openStdioFile(const char *name, const char *mode)
{
    char *path = strdup(name);
    if (!path)
        return 0;
    for (char *c = path; *c; c++)
        if (*c == '\\')
            *c = '/';
    char binaryMode[8];
    size_t n = 0;
    for (const char *m = mode; *m && n < sizeof binaryMode - 2; m++)
        if (*m != 't' && *m != 'b')
            binaryMode[n++] = *m;
    binaryMode[n++] = 'b';
    binaryMode[n] = '\0';

    FILE *raw = fopen(path, binaryMode);
    free(path);
    bool text = strchr(mode, 't') || !strchr(mode, 'b');
    if (!raw || !text || strchr(mode, '+'))
        return raw;

    cookie_io_functions_t functions = {readText, writeText, seekText, closeText};
    FILE *stream = fopencookie(raw, mode[0] == 'r' ? "r" : "w", functions);
    if (!stream) {
        fclose(raw);
        return 0;
    }
    setvbuf(stream, 0, _IONBF, 0);
    return stream;
}
