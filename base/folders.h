// Folder helpers of the installer and the uninstaller: making every level of
// a folder path, and the current user's special folders.
#pragma once

#include <stddef.h>

// Creates every missing level of path (at most 259 characters). Returns 1
// when all exist afterwards, else 0 after the box "CreateDirectory error!"
// with the caption "Error".
int MakePath(const char *path);

// Puts the path of a special folder of the current user (CSIDL_PROGRAMS,
// CSIDL_DESKTOPDIRECTORY, ...) into path, which holds size bytes. False,
// with path empty, when it cannot be resolved or does not fit.
bool SpecialFolderPath(int folder, char *path, size_t size);
