// Where the links of the install script go: the program group folder below
// the Start-menu Programs folder, and each link file in its folder. The
// installer makes the links there and the uninstaller removes them from
// there, both through these functions; quillpack plan names the same places
// with them. Portable: the one call out is SpecialFolderPath.
#pragma once

#include <stddef.h>

#include "script/install_settings.h"

// The program group folder: the Programs folder, '\' and groupName, into
// folder (size bytes). False when the Programs folder cannot be resolved or
// the path does not fit.
bool ProgramGroupFolder(const char *groupName, char *folder, size_t size);

// The program group folder of settings.groupName into folder (size bytes).
// False when the Programs folder cannot be resolved, the path does not fit,
// or the name would leave the Programs folder.
bool ScriptGroupFolder(char *folder, size_t size);

// Gives a slot without a folder of its own (a LINK= line, or a DESK= line
// whose desktop could not be resolved) the program group folder, or nothing
// when groupFolder is 0. False when the slot is left without a folder.
bool AssignLinkFolder(ShortcutRecord *link, const char *groupFolder);

// The link file "<linkFolder>\<linkName>.lnk" of a slot into path (size
// bytes). False when it does not fit or the link name would leave its folder.
bool LinkFilePath(const ShortcutRecord *link, char *path, size_t size);

// The icon index a link is made with: 0 for an uninstall link (arguments
// UNINSTALL_OPTION in any ASCII case), else 2.
int32_t LinkIconIndex(const ShortcutRecord *link);
