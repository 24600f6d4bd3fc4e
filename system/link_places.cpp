#include "system/link_places.h"

#include <shlobj.h>

#include "base/folders.h"
#include "base/path_rule.h"
#include "base/text.h"

bool ProgramGroupFolder(const char *groupName, char *folder, size_t size)
{
    char programs[PATH_SIZE];
    return SpecialFolderPath(CSIDL_PROGRAMS, programs, sizeof programs) &&
           formatText(folder, size, "%s\\%s", programs, groupName);
}

bool ScriptGroupFolder(char *folder, size_t size)
{
    return isPathInsideFolder(settings.groupName) && ProgramGroupFolder(settings.groupName, folder, size);
}

bool AssignLinkFolder(ShortcutRecord *link, const char *groupFolder)
{
    if (link->linkFolder[0] != '\0')
        return true;
    return groupFolder && copyText(link->linkFolder, sizeof link->linkFolder, groupFolder);
}

bool LinkFilePath(const ShortcutRecord *link, char *path, size_t size)
{
    return link->linkFolder[0] != '\0' && isPathInsideFolder(link->linkName) &&
           formatText(path, size, "%s\\%s.lnk", link->linkFolder, link->linkName);
}

int32_t LinkIconIndex(const ShortcutRecord *link)
{
    return equalsIgnoreAsciiCase(link->arguments, UNINSTALL_OPTION) ? link->iconIndex : 2;
}
