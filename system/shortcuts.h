// Shell links of the install script: LINK= lines in the program group
// folder below the user's Start-menu Programs folder, DESK= lines on the
// desktop. Made through the shell link object (COM); failures are silent.
#pragma once

#include <windows.h>

#include "script/install_settings.h"

// Makes the program group folder (even without LINK= lines), then one link
// per used slot, in script order. Needs COM initialised on this thread.
void CreateShortcuts();

// Makes one link file "<linkFolder>\<linkName>.lnk" from a slot whose
// targetDir, workingDir and linkFolder are filled; sets its iconIndex (0 for
// an uninstall link, else 2). Returns the HRESULT of the last COM step.
HRESULT CreateShortcut(ShortcutRecord *link);

// The path (MAX_PATH bytes) of a special folder of the current user, such
// as CSIDL_PROGRAMS or CSIDL_DESKTOPDIRECTORY. False when it cannot be
// resolved; path is then empty.
bool SpecialFolderPath(int folder, char *path);

// The program group folder: the Programs folder, '\', groupName. False
// when the Programs folder cannot be resolved.
bool ProgramGroupFolder(char *folder, size_t size);
