// Shared by the stand-in's files: Windows paths onto POSIX ones, and the
// case folding of registry names and library names.
#pragma once

#include <string>

// '\' becomes '/'.
inline std::string posixPath(const std::string &path)
{
    std::string out = path;
    for (char &c : out)
        if (c == '\\')
            c = '/';
    return out;
}

// ASCII letters in lower case.
inline std::string lowerCase(const std::string &text)
{
    std::string out = text;
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return out;
}
