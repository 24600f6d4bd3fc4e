// Shell links of the install script: LINK= lines in the program group
// folder below the user's Start-menu Programs folder, DESK= lines on the
// desktop. Made through the shell link object (COM); failures are silent.
// The uninstaller finds each link file through the same functions, so it
// removes the links where they were made.
#pragma once

#include <windows.h>

#include "script/install_settings.h"

// Makes the program group folder (even without LINK= lines), then one link
// per used slot, in script order. Needs COM initialised on this thread. A
// group or link name that would leave its folder is shown in an error box
// and not used: no group folder and no LINK= links for a refused group, no
// link for a refused link name.
void CreateShortcuts();

// Makes one link file "<linkFolder>\<linkName>.lnk" from a slot whose
// targetDir, workingDir and linkFolder are filled; sets its iconIndex (0 for
// an uninstall link, else 2). Returns the HRESULT of the last COM step.
HRESULT CreateShortcut(ShortcutRecord *link);

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
