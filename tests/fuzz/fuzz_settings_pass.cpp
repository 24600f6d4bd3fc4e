// Fuzz target: the settings pass over any script, read as start-up reads it:
// the script entry of an installer, opened in text mode. Whatever the bytes,
// every text field of the settings ends inside its buffer and no more links
// are kept than there are slots.
#include <shlobj.h>

#include "fuzz/fuzz_check.h"
#include "host/host.h"
#include "script/install_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t length)
{
    host.specialFolders[CSIDL_DESKTOPDIRECTORY] = "C:\\Users\\Player\\Desktop";
    openScriptPackage(data, length);
    readSettingsFrom(SCRIPT_NAME);
    checkSettings();
    closeScriptPackage();
    return 0;
}
