#include "base/path_rule.h"

#include <string.h>

#include "base/names.h"
#include "base/text.h"

// Device names that Windows resolves in every folder, whatever extension
// follows them, each between bars.
static const char DEVICES[] = "|con|prn|aux|nul|com1|com2|com3|com4|com5|com6|com7|com8|com9"
                              "|lpt1|lpt2|lpt3|lpt4|lpt5|lpt6|lpt7|lpt8|lpt9|";

// True when the part of the component before its first dot, less trailing
// blanks, is a device name in any ASCII case ("nul", "Com1.txt", "aux .x").
static bool namesDevice(const char *component, unsigned length)
{
    unsigned base = 0;
    while (base < length && component[base] != '.')
        base++;
    while (base > 0 && component[base - 1] == ' ')
        base--;
    char name[8] = "|";
    if (base == 0 || base > 4)
        return false;
    for (unsigned i = 0; i < base; i++)
        name[1 + i] = lowerAscii(component[i]);
    name[1 + base] = '|';
    return strstr(DEVICES, name) != 0;
}

// One name between separators: PATH_PARENT_STEP for "..", PATH_COMPONENT_END
// for a final dot or blank, PATH_DEVICE, else PATH_INSIDE.
static PathProblem componentProblem(const char *component, unsigned length)
{
    if (length == 2 && component[0] == '.' && component[1] == '.')
        return PATH_PARENT_STEP;
    if (length > 0 && (component[length - 1] == '.' || component[length - 1] == ' '))
        return PATH_COMPONENT_END;
    if (namesDevice(component, length))
        return PATH_DEVICE;
    return PATH_INSIDE;
}

// The first problem of the names of path, split at '\' and '/'.
static PathProblem namesProblem(const char *path)
{
    for (const char *component = path;;) {
        unsigned length = (unsigned)strcspn(component, "\\/");
        PathProblem problem = componentProblem(component, length);
        if (problem != PATH_INSIDE)
            return problem;
        if (component[length] == '\0')
            return PATH_INSIDE;
        component += length + 1;
    }
}

PathProblem relativePathProblem(const char *path)
{
    if (path[0] == '\\' || path[0] == '/')
        return PATH_ABSOLUTE;
    if (strchr(path, ':'))
        return PATH_COLON;
    return namesProblem(path);
}

bool isFullFolderPath(const char *path)
{
    char drive = (char)(path[0] | 0x20);
    if (drive < 'a' || drive > 'z' || path[1] != ':')
        return false;
    if (path[2] == '\0')
        return true;
    return path[2] == '\\' && !strchr(path + 3, ':') && namesProblem(path + 3) == PATH_INSIDE;
}

bool isPathInsideFolder(const char *path)
{
    return relativePathProblem(path) == PATH_INSIDE;
}

bool isPayloadPlace(const char *path)
{
    return isPathInsideFolder(path) && !equalsIgnoreAsciiCase(path, UNINSTALLER_NAME) &&
           !equalsIgnoreAsciiCase(path, SCRIPT_NAME);
}

bool isDestinationFolder(const char *folder, size_t longestName)
{
    size_t length = strlen(folder);
    size_t withBackslash = length + (length > 0 && folder[length - 1] == '\\' ? 0 : 1);
    return isFullFolderPath(folder) && withBackslash + longestName <= PATH_SIZE - 1;
}
