// On Windows the runtime's fopen understands Windows names and text mode.
#include "package/stdio_open.h"

FILE *openStdioFile(const char *name, const char *mode)
{
    return fopen(name, mode);
}
