// Bounded text helpers for the fixed buffers used throughout the system.
// Every copy into a fixed buffer goes through these, so none can overflow.
#pragma once

#include <stddef.h>

// Copies source into buffer of size bytes, cut at size - 1; always ends with
// NUL. Returns false when the text had to be cut.
bool copyText(char *buffer, size_t size, const char *source);
// Appends source to the text in buffer, cut at size - 1. False when cut.
bool appendText(char *buffer, size_t size, const char *source);
// Formats into buffer of size bytes, cut at size - 1, always ending with NUL.
// Returns false when the text had to be cut. Knows %s (text) and %d (int)
// only, which is all the installer's texts use; it keeps the runtime's whole
// printf machinery out of the installer.
bool formatText(char *buffer, size_t size, const char *format, ...);
// Equality with ASCII letters A-Z compared without case; other bytes exact.
bool equalsIgnoreAsciiCase(const char *a, const char *b);
// c with A-Z turned into a-z, every other byte as it is.
char lowerAscii(char c);
