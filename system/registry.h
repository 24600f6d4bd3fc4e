// Registry records below HKEY_LOCAL_MACHINE: the game's folder, read when
// the destination dialog opens, and the install record that the script
// names, written after a successful copy. Both fail silently.
#pragma once

#include <stdint.h>

// Puts the value's text into buffer (which holds size + 1 bytes), or the
// empty string when the key or value is missing or longer than size.
void ReadRegistryString(const char *keyPath, const char *valueName, char *buffer, uint32_t size);

// Writes destinationDir into HKLM\SOFTWARE\<installKey>, value installValue,
// as REG_SZ, when the script asked for it.
void WriteInstallRecord();
