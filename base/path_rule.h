// The path rule: which names a script may give to places below a folder.
// COPY and DIR paths live below the installation folder, link names in
// their link folder, the program group below the Start-menu Programs
// folder. A name that passes stays inside its folder and names a file or
// folder there on any Windows; one that fails could reach outside it, or
// name a device or another file than the one written. The installer, the
// uninstaller and quillpack all ask this one rule.
#pragma once

#include <stddef.h>

enum PathProblem {
    PATH_INSIDE,           // stays inside its folder
    PATH_ABSOLUTE,         // starts with '\' or '/'
    PATH_COLON,            // holds a ':' (a drive, or a stream of a file)
    PATH_PARENT_STEP,      // has a ".." component
    PATH_DEVICE,           // a component names a device: CON, PRN, AUX, NUL, COM1-9, LPT1-9
    PATH_COMPONENT_END,    // a component ends with '.' or a blank, which Windows drops
};

// What is wrong with path, relative to its folder ('\' and '/' both separate
// components); PATH_INSIDE when nothing is. The empty path is the folder
// itself and passes.
PathProblem relativePathProblem(const char *path);

// True when relativePathProblem finds nothing.
bool isPathInsideFolder(const char *path);

// True when a COPY line may write path below the installation folder: it
// stays inside and is not, in any ASCII case, the uninstaller copy or its
// script, which no payload may replace.
bool isPayloadPlace(const char *path);

// True when path is a full folder path: a drive letter and a colon, then
// nothing (the drive's root) or '\' and folder names ('\' or '/' between
// them) that each stay what they say: no "..", no device, no final dot or
// blank, no further colon. The destination the user chooses must be one.
bool isFullFolderPath(const char *path);

// True when folder is a full folder path (isFullFolderPath) below which,
// with the backslash that ends it, a name of longestName characters still
// fits a path of 259 characters. The destination the user keeps or types
// must be one.
bool isDestinationFolder(const char *folder, size_t longestName);
