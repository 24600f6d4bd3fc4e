// Files and folders for quillpack: reading whole files, listing folders,
// finding an add-on file by an entry name whose components match in any ASCII
// case (as the installer's lookup does), and the two calls that differ by
// platform. Every failure comes back as false with "path: reason".
#pragma once

#include <map>
#include <string>
#include <vector>

typedef std::vector<unsigned char> Bytes;

// ---- Platform ----

// Moves the file from onto to, replacing a file already there.
bool replaceFile(const std::string &from, const std::string &to, std::string &error);
// Creates the folder path (one level); a folder already there is fine.
bool makeFolder(const std::string &path, std::string &error);
// The path of the running program; "" when the system does not tell.
std::string ownExecutable();
// True when path itself is a symbolic link (on Windows, any reparse point,
// junctions included), whatever it points to.
bool isLink(const std::string &path);
// path with every link, "." and ".." resolved; "" when it cannot be.
std::string resolvedPath(const std::string &path);

// ---- Files ----

// Reads the whole file at path into data.
bool readWholeFile(const std::string &path, Bytes &data, std::string &error);
// True when path names an existing folder.
bool isFolder(const std::string &path);
// True when path names an existing regular file.
bool isRegularFile(const std::string &path);
// The names in folder, without "." and "..".
bool listFolder(const std::string &folder, std::vector<std::string> &names, std::string &error);
// True when path, its links followed, is folder or lies below it.
bool isInsideFolder(const std::string &path, const std::string &folder);

// ---- Names in the installer's code page ----

// A script names files in the code page the installer reads it in, Windows
// code page 1250. On Windows the file functions give and take names in the
// system's code page as they are; on POSIX the file system holds UTF-8 and
// names are converted.

// The script's form of a name on disk; false when a character of it has no
// place in code page 1250.
bool scriptName(const std::string &disk, std::string &name);
// The name on disk of a script's name.
std::string diskName(const std::string &script);

// ---- Names in any ASCII case ----

// text with the ASCII letters A-Z turned into lower case.
std::string lowerAscii(std::string text);

// Folder listings, read once each, keyed by the folder's path. An add-on with
// many files is then looked up in time linear in their number.
struct FolderCache {
    std::map<std::string, std::map<std::string, std::vector<std::string>>> folders;
        // folder path -> lower-cased script name -> the names on disk that fold to it
};

// Finds the file named by components below root (script names), each
// component matched without regard to ASCII case. Returns 1 and sets path when exactly one
// file matches, 0 when none does, -1 with error set when a folder cannot be
// read, two names on disk match the same component, or the way passes a
// symbolic link that leads out of root, which is never followed.
int findIgnoringCase(FolderCache &cache, const std::string &root,
                     const std::vector<std::string> &components, std::string &path,
                     std::string &error);
