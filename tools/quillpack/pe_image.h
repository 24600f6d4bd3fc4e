// The stub check of quillpack build: the installer image that becomes entry 0
// must be a 32-bit x86 Windows program, must be quillfen.exe itself (its
// version block and dialog templates say so) and must not carry a package
// already.
#pragma once

#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

// Empty when image starts like a PE32 program for i386: "MZ", a header
// offset (e_lfanew) that leaves room for the file header, "PE\0\0" there and
// machine 0x14C. Else a phrase saying what is wrong.
std::string peImageProblem(const Bytes &image);

// Empty when image is such a program and carries what the installer needs
// and only it carries: a version block whose ProductName is
// "Brakmoor Quillfen" and the dialog templates 101 and 102, every section
// whole inside the file. Else a phrase saying what was expected and what was
// found. Every offset read from image is checked against its size first.
std::string stubProblem(const Bytes &image);

// True when the file at path already ends with a package directory whose
// entry 0 is "quillfen.exe", that is, when it is a finished installer.
bool carriesPackage(const char *path);
