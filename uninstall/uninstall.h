// The uninstaller: two stages in two processes. The uninstall stage
// ("-uninstall", in the installation directory) removes the links, the
// program group folder, the installed files and the script's folders, then
// hands over to a temporary copy of itself. The clean-up stage
// ("-uninstallpath DIR") waits for the first process to let go of the
// uninstall mutex, deletes the uninstaller copy and its script, and has
// Windows delete the temporary copy at its next start.
#pragma once

#include <windows.h>

#include "uninstall/installed_paths.h"

// Runs the stage that runMode selects. Returns the uninstall mutex, owned,
// for start-up to release and close; 0 when the user declined or the
// clean-up stage could not wait for the mutex.
HANDLE RunUninstall();

// ---- The two halves of self-removal ----

// Starts the temporary copy in the Windows temp folder with "-uninstallpath"
// and the short form of the installation directory; returns the mutex,
// created owned before the copy starts. A copy that cannot be written or
// started sets exit status 1.
HANDLE HandOver();
// The clean-up stage in the temporary copy. A failed wait for the mutex
// deletes nothing and sets exit status 1.
HANDLE CleanUp();
