// Fixed names and sizes that the installer, the uninstaller and quillpack
// share. Each is written here once; everything else refers to it.
#pragma once

#include <stddef.h>

// ---- Files the installation is made of ----

const char SCRIPT_NAME[] = "quillfen.ini";        // the install script, an entry and the installed copy
const char UNINSTALLER_NAME[] = "quillfen.exe";   // entry 0 (the bare image) and the uninstaller copy
const char AGREEMENT_NAME[] = "Umowa.txt";        // the agreement text shown before installing
const char REDISTRIBUTABLE_NAME[] = "vcredist.exe";  // the runtime redistributable in the destination
const char CHECKSUM_NAME[] = "quillfen.crc";      // entry: CRC-32 of every other byte of the installer

// ---- Names in the system ----

const char UNINSTALL_MUTEX[] = "Brakmoor quillfen";        // orders the two uninstall stages
const char GAME_KEY[] = "SOFTWARE\\Brakmoor\\Tundravale";  // HKLM key naming the game's folder
const char GAME_FOLDER_VALUE[] = "DestinationDir";         // its value
const char PROGRAM_NAME[] = "quillfen";                    // in standard-error lines
const char UNINSTALL_OPTION[] = "-uninstall";              // starts the uninstall stage
const char CLEANUP_OPTION[] = "-uninstallpath";            // starts the clean-up stage

// ---- Sizes ----

const size_t PATH_SIZE = 260;          // a path buffer: at most 259 characters (MAX_PATH)
const size_t NAME_WORK_SIZE = 1024;    // a name looked up or opened: at most 1023 bytes
const int SCRIPT_LINE_SIZE = 1024;     // one read of a script line: at most 1023 characters
