#include "base/messages.h"

const char *const messageTable[MESSAGE_COUNT] = {
    "Installation requires %d MB of free disk space",
    "Wrong path",
    "Error",
    "Copying files, please wait",
    "Error while installing files",
    "Installation",
    "Installation successfully completed",
    "Are you sure to uninstall %s?",
    "Uninstallation finished",
    "Uninstallation",
    "This installer is damaged and cannot install anything. Please download it again.",
};
