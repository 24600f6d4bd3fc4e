// The runtime library check and the redistributable. Start-up checks the
// product versions of "msvcrt.dll" and "msvcp60.dll" in every run mode; at
// the end of an installation whose script says INSTALL_DLLS and whose check
// failed, "vcredist.exe" in the destination replaces the installer.
#pragma once

// The version rule over the ProductVersion strings of a library's
// translations (0 for one that cannot be read, which passes): each must
// have a major number of 6 or more before its first dot, or no dot at all.
bool RuntimeVersionsPass(const char *const *productVersions, int count);

// True when the library, found by its bare name, has readable version
// information whose product versions pass the rule.
bool IsGoodRuntimeDll(const char *fileName);

// Sets settings.bAreGoodDlls from both libraries (the second only when the
// first passes) and says so on the debugger output.
void CheckRuntimeLibraries();

// When the libraries failed: starts the redistributable in destinationDir
// and ends the installer with status 0, or says "VCRedits.exe couldn't be
// spawned", sets settings.bRedistAttempted and exit status 1.
void RunRedistributable();
