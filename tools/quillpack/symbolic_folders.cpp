// The special folders as quillpack sees them. The installer asks Windows for
// the player's Start-menu Programs folder and desktop; an author's tool
// cannot know them, so each is its symbolic name. The installer's own
// readings (the settings pass, where links go) then build every link path
// on these names, and plan prints them as "<Programs>\...".
#include "base/folders.h"

#include <shlobj.h>

#include "base/text.h"

bool SpecialFolderPath(int folder, char *path, size_t size)
{
    const char *name = folder == CSIDL_PROGRAMS           ? "<Programs>"
                       : folder == CSIDL_DESKTOPDIRECTORY ? "<Desktop>"
                                                          : "";
    if (*name && copyText(path, size, name))
        return true;
    path[0] = '\0';
    return false;
}
