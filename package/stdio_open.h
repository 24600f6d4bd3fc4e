// Opens files by Windows names and stdio modes. On Windows this is fopen
// itself; the host build maps '\' to '/' and emulates text mode (a mode with
// 't', or with neither 't' nor 'b': CR LF reads as LF, positions count bytes).
#pragma once

#include <stdio.h>

FILE *openStdioFile(const char *name, const char *mode);
