// Files by Windows names on POSIX (the native quillpack and the host
// build): '\' becomes '/'. The package file layer opens every stream binary
// and does text mode itself, so nothing else differs from Windows.
#include "package/stdio_open.h"

#include <stdlib.h>
#include <string.h>

FILE *openStdioFile(const char *name, const char *mode)
{
    char *path = strdup(name);
    if (!path)
        return 0;
    for (char *c = path; *c; c++)
        if (*c == '\\')
            *c = '/';
    FILE *stream = fopen(path, mode);
    free(path);
    return stream;
}
