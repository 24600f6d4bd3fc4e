// Shell links of the install script: LINK= lines in the program group
// folder below the user's Start-menu Programs folder, DESK= lines on the
// desktop. Made through the shell link object (COM); failures are silent.
// Where each link goes is link_places.h's, which the uninstaller asks too,
// so it removes the links where they were made.
#pragma once

#include <windows.h>

#include "script/install_settings.h"
#include "system/link_places.h"

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
