// The whole install script checked as the installer and the uninstaller
// will take it. Each line goes through the installer's grammar (lineError
// says what it would misread or refuse); the settings pass runs on it as the
// installer runs it; the folders and files it makes are walked in the copy
// pass's order; and the uninstaller's own reading and removal walk run over
// a model of the installed folder, to find what uninstalling leaves behind.
// build lints the add-on's script, verify and plan the one in an installer.
#pragma once

#include <string>
#include <vector>

#include "script/script_grammar.h"
#include "tools/quillpack/quillpack.h"

// One COPY line of the script with the line of the file it stands on.
struct ScriptCopy {
    int line;          // 1-based line of the script file
    CopyLine copy;     // as the installer parses it
};

// One DIR ' line of the script.
struct ScriptFolder {
    int line;           // 1-based line of the script file
    std::string path;   // the folder below the destination
};

// Where a script is read from.
struct ScriptSource {
    std::string name;   // in messages: SCRIPT_NAME for the open package's entry, else the file's path
    bool inPackage;     // the entry of the open package; else the file at name
};

struct ScriptLint {
    std::vector<ScriptCopy> copies;     // COPY lines without an error, in script order
    std::vector<ScriptFolder> folders;  // DIR ' lines without an error, in script order
    std::vector<std::string> removed;   // what the uninstaller removes, in its order: the
                                        // files, then the folders, each with a final '\'
    std::vector<std::string> left;      // folders of DIR ' lines that it leaves, final '\'
    std::vector<Finding> findings;      // errors and warnings, in line order
};

// A path below the destination as Windows tells paths apart: ASCII letters
// in one case, '/' as '\', no empty names; "" for the destination itself.
std::string pathKey(const std::string &path);

// Lints the script at source into lint. The settings pass runs on it, so
// afterwards settings holds what the installer reads from this script.
void lintScript(const ScriptSource &source, ScriptLint &lint);
