// Opens files by Windows names with binary stdio modes. On Windows this is
// fopen itself; the host build maps '\' to '/'.
#pragma once

#include <stdio.h>

FILE *openStdioFile(const char *name, const char *mode);
