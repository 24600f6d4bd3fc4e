// Start-up: the program's entry point, the command line and the install
// sequence. WinMain fills the start-up state (base/startup_state.h), chooses
// the run mode from the command line and runs it.
#pragma once

#include "base/startup_state.h"

// Splits GetCommandLineA's text in place into startup.argTable.
void SplitCommandLine();
// Splits text in place into startup.argTable: the rules of SplitCommandLine.
void SplitCommandLineText(char *text);
// Sets startup.runMode from the tokens after the first; "-uninstallpath"
// also sets settings.destinationDir (left empty when its value is missing or
// too long).
void ParseOptions();

// Opens the package, reads the script, shows both dialogs, writes the
// registry record and reports success; closes the script and the package.
// A damaged installer only says so.
void RunInstallSequence();
