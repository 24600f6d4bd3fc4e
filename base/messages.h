// The message table: the fixed user-visible texts, read wherever one is shown.
#pragma once

enum MessageId {
    MSG_SPACE_NEEDED,        // "Installation requires %d MB of free disk space"
    MSG_WRONG_PATH,          // "Wrong path"
    MSG_ERROR,               // "Error": caption of error boxes
    MSG_COPYING,             // "Copying files, please wait"
    MSG_INSTALL_FAILED,      // "Error while installing files"
    MSG_INSTALLATION,        // "Installation": caption of the success box
    MSG_INSTALL_SUCCEEDED,   // "Installation successfully completed"
    MSG_CONFIRM_UNINSTALL,   // "Are you sure to uninstall %s?"
    MSG_UNINSTALL_FINISHED,  // "Uninstallation finished"
    MSG_UNINSTALLATION,      // "Uninstallation": caption of the uninstaller's boxes
    MSG_DAMAGED_INSTALLER,   // "This installer is damaged..."
    MESSAGE_COUNT
};

extern const char *const messageTable[MESSAGE_COUNT];
