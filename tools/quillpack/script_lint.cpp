// The lint of a whole install script: the installer's grammar line by line,
// its settings pass, the copy pass's order and the uninstaller's walk.
#include "tools/quillpack/script_lint.h"

#include <string.h>

#include <algorithm>
#include <map>
#include <set>

#include "base/path_rule.h"
#include "base/text.h"
#include "package/package.h"
#include "script/install_settings.h"
#include "tools/quillpack/addon_script.h"
#include "tools/quillpack/folder.h"
#include "uninstall/installed_paths.h"

std::string formatFinding(const Finding &finding)
{
    std::string where = finding.line ? finding.file + ":" + std::to_string(finding.line) : finding.file;
    return where + (finding.warning ? ": warning: " : ": error: ") + finding.text;
}

bool hasErrors(const std::vector<Finding> &findings)
{
    for (const Finding &finding : findings)
        if (!finding.warning)
            return true;
    return false;
}

static PackageFile openScript(const ScriptSource &source, const char *mode)
{
    return source.inPackage ? pfOpen(SCRIPT_NAME, mode) : pfOpenFile(source.name.c_str(), mode);
}

// ---- Paths as Windows compares them ----

std::string pathKey(const std::string &path)
{
    std::string key;
    for (char c : path) {
        char k = c == '/' ? '\\' : lowerAscii(c);
        if (k != '\\' || (!key.empty() && key.back() != '\\'))
            key += k;
    }
    if (!key.empty() && key.back() == '\\')
        key.pop_back();
    return key;
}

static std::string parentKey(const std::string &key)
{
    size_t at = key.rfind('\\');
    return at == std::string::npos ? "" : key.substr(0, at);
}

// ---- The walk over the lines ----

namespace {

// What the walk over the lines keeps for the checks that need the whole
// script.
struct LineFacts {
    std::map<std::string, int> firstWrite;    // COPY destination key -> its first line
    std::set<std::string> made;               // folder keys made by DIR ' lines so far
    std::map<std::string, int> lastDirLine;   // folder key -> its last DIR ' line
    std::vector<int> linkLines;               // LINK= lines, in order
    int links = 0;                            // LINK= and DESK= lines so far
    int lastGroupLine = 0;                    // the final GROUP= line
    std::vector<std::pair<int, std::string>> destinations;   // DIR= lines and their values
};

}  // namespace

static void add(ScriptLint &lint, const std::string &file, int line, bool warning, const std::string &text)
{
    lint.findings.push_back({file, line, warning, text});
}

// The copy pass makes one folder level per DIR ' line and writes a COPY '
// file only into a folder that is there: made by an earlier DIR ' line, or
// already in the destination.
static void checkFolderMade(ScriptLint &lint, const ScriptSource &source, int line, LineFacts &facts,
                            const std::string &path, const char *what)
{
    std::string parent = parentKey(pathKey(path));
    if (parent.empty() || facts.made.count(parent))
        return;
    add(lint, source.name, line, true,
        "no earlier DIR line makes the folder '" + path.substr(0, path.find_last_of("\\/")) + "' of " + what +
            " '" + path + "': installing stops there with an error unless the destination already holds it");
}

static void noteFolder(ScriptLint &lint, const ScriptSource &source, int line, LineFacts &facts,
                       const char *rest)
{
    char folder[PATH_SIZE];
    parseDirLine(rest, folder, sizeof folder);
    checkFolderMade(lint, source, line, facts, folder, "folder");
    std::string key = pathKey(folder);
    facts.made.insert(key);
    facts.lastDirLine[key] = line;
    lint.folders.push_back({line, folder});
}

static void noteCopy(ScriptLint &lint, const ScriptSource &source, int line, LineFacts &facts,
                     const CopyLine &copy)
{
    checkFolderMade(lint, source, line, facts, copy.destination, "file");
    std::string key = pathKey(copy.destination);
    auto first = facts.firstWrite.emplace(key, line);
    if (!first.second)
        add(lint, source.name, line, true,
            std::string("'") + copy.destination + "' is written again: line " +
                std::to_string(first.first->second) + " wrote it first, and this line's file replaces it");
    lint.copies.push_back({line, copy});
}

// Checks one line (or one piece of a longer line) and keeps its facts.
static void lintLine(ScriptLint &lint, const ScriptSource &source, const char *line, int number,
                     LineFacts &facts)
{
    const char *rest;
    ScriptKeyword keyword = lineKeyword(line, &rest);
    CopyLine copy;
    std::string error = lineError(line, keyword, rest, &copy);
    if (keyword == KEYWORD_LINK || keyword == KEYWORD_DESK) {
        if (++facts.links == SHORTCUT_SLOTS + 1)
            error = "a " + std::to_string(SHORTCUT_SLOTS + 1) + "th link: the installer makes at most " +
                    std::to_string(SHORTCUT_SLOTS) + " and ignores every link line after them";
        if (keyword == KEYWORD_LINK)
            facts.linkLines.push_back(number);
    }
    if (keyword == KEYWORD_GROUP)
        facts.lastGroupLine = number;
    if (keyword == KEYWORD_DESTINATION)
        facts.destinations.push_back({number, rest});
    if (!error.empty())
        add(lint, source.name, number, false, error);
    else if (keyword == KEYWORD_FOLDER)
        noteFolder(lint, source, number, facts, rest);
    else if (keyword == KEYWORD_COPY)
        noteCopy(lint, source, number, facts, copy);
}

// Reads the script as the installer does, pfGets in text mode with its
// 1024-byte buffer, and checks every line.
static void lintLines(ScriptLint &lint, const ScriptSource &source, LineFacts &facts)
{
    PackageFile file = openScript(source, "rt");
    if (!file) {
        add(lint, source.name, 0, false, "cannot be read");
        return;
    }
    char line[SCRIPT_LINE_SIZE];
    int number = 1;   // the file's line of the next piece
    bool cut = false; // the line of this piece was already reported as too long
    while (pfGets(line, sizeof line, file)) {
        lintLine(lint, source, line, number, facts);
        // A line longer than one read arrives in pieces; only the last ends
        // the file's line.
        size_t length = strlen(line);
        bool ended = length > 0 && line[length - 1] == '\n';
        if (!ended && !pfEof(file) && !cut)
            add(lint, source.name, number, false,
                "the line is longer than " + std::to_string(SCRIPT_LINE_SIZE - 1) +
                    " characters: the installer reads the rest as a line of its own");
        cut = !ended;
        if (ended)
            number++;
    }
    pfClose(file);
}

// ---- What only the whole script shows ----

static void lintNulByte(ScriptLint &lint, const ScriptSource &source)
{
    PackageFile file = openScript(source, "rb");
    Bytes bytes;
    unsigned char block[4096];
    size_t n;
    while (file && (n = pfRead(block, 1, sizeof block, file)) > 0)
        bytes.insert(bytes.end(), block, block + n);
    pfClose(file);
    if (int line = nulByteLine(bytes))
        add(lint, source.name, line, false, "the line holds a NUL byte; the installer reads it only up to there");
}

static void lintLinks(ScriptLint &lint, const ScriptSource &source, const LineFacts &facts)
{
    for (int line : facts.linkLines)
        if (line < facts.lastGroupLine)
            add(lint, source.name, line, true,
                "LINK= before GROUP= (line " + std::to_string(facts.lastGroupLine) +
                    "): the link goes to the group that line names, as every link does; put GROUP= first");
    for (int32_t i = 0; i < settings.shortcutCount; i++)
        if (equalsIgnoreAsciiCase(settings.shortcuts[i].targetName, UNINSTALLER_NAME) &&
            equalsIgnoreAsciiCase(settings.shortcuts[i].arguments, UNINSTALL_OPTION))
            return;
    add(lint, source.name, 0, true,
        std::string("no uninstall link: the player cannot uninstall from the Start menu; add LINK= \"") +
            UNINSTALLER_NAME + "\" \"Uninstallation\" \"" + UNINSTALL_OPTION + "\"");
}

// The destination field takes only a full folder path with room below it
// for the longest name the script writes: a proposal that is not one is
// "Wrong path" when the player keeps it.
static void lintDestinations(ScriptLint &lint, const ScriptSource &source, const LineFacts &facts)
{
    for (const auto &line : facts.destinations) {
        char value[PATH_SIZE];
        readLineValue(line.second.c_str(), value, sizeof value);
        if (!isFullFolderPath(value))
            add(lint, source.name, line.first, false,
                std::string("DIR= '") + value + "' is not a full folder path (a drive letter, ':' and '\\'): "
                "the installer's destination field refuses it");
        else if (line.first == facts.destinations.back().first &&
                 !isDestinationFolder(settings.destinationDir, settings.longestPath))
            add(lint, source.name, line.first, false,
                "below this folder the script's longest name (" + std::to_string(settings.longestPath) +
                    " characters) makes a path longer than " + std::to_string(PATH_SIZE - 1) +
                    ": the installer's destination field refuses it");
    }
}

// ---- The uninstaller's walk over a model of the installed folder ----

namespace {

// The installed folder, as the uninstaller finds it, keyed by pathKey.
struct InstalledModel {
    std::set<std::string> files;
    std::set<std::string> folders;
    std::map<std::string, std::string> shown;    // key -> the path as the script wrote it
    std::map<std::string, std::string> heldBy;   // folder -> what it held when its removal failed
    std::vector<std::string> *removed;           // the paths removed, in order
};

}  // namespace

// The first file or folder inside key, or "".
static std::string firstInside(const InstalledModel &model, const std::string &key)
{
    std::string prefix = key + "\\";
    std::string found;
    for (const std::set<std::string> *set : {&model.files, &model.folders}) {
        auto at = set->lower_bound(prefix);
        if (at != set->end() && at->compare(0, prefix.size(), prefix) == 0 && (found.empty() || *at < found))
            found = *at;
    }
    return found;
}

static void deleteModelFile(const char *path, void *context)
{
    InstalledModel &model = *(InstalledModel *)context;
    if (model.files.erase(pathKey(path)))
        model.removed->push_back(path);
}

static void removeModelFolder(const char *path, void *context)
{
    InstalledModel &model = *(InstalledModel *)context;
    std::string key = pathKey(path);
    if (!model.folders.count(key))
        return;
    std::string inside = firstInside(model, key);
    if (!inside.empty()) {
        model.heldBy[key] = inside;
        return;
    }
    model.folders.erase(key);
    model.removed->push_back(std::string(path) + "\\");
}

// Puts path into the model, a file or a folder, with every folder above it,
// which the destination holds once the copy pass has written there.
static void install(InstalledModel &model, const std::string &path, std::set<std::string> &into)
{
    into.insert(pathKey(path));
    model.shown.emplace(pathKey(path), path);
    for (size_t at = path.find_last_of("\\/"); at != std::string::npos && at > 0;
         at = path.find_last_of("\\/", at - 1)) {
        model.folders.insert(pathKey(path.substr(0, at)));
        model.shown.emplace(pathKey(path.substr(0, at)), path.substr(0, at));
    }
}

// Why the folder key stayed: what it still held at its last turn.
static std::string heldText(const InstalledModel &model, const LineFacts &facts, const std::string &key)
{
    auto held = model.heldBy.find(key);
    if (held == model.heldBy.end())
        return "";
    std::string inside = "'" + model.shown.at(held->second) + "'";
    auto listed = facts.lastDirLine.find(held->second);
    if (listed == facts.lastDirLine.end())
        return inside + ", which no DIR line names, so the uninstaller never removes it";
    if (listed->second > facts.lastDirLine.at(key))
        return inside + ", which line " + std::to_string(listed->second) + " lists after it; list '" +
               model.shown.at(key) + "' again after the folders inside it, as quillpack init does";
    return inside + ", which stays as well";
}

// Installs the script into the model and uninstalls it with the
// uninstaller's own reading and walk; warns of every folder of a DIR ' line
// that stays.
static void lintUninstall(ScriptLint &lint, const ScriptSource &source, const LineFacts &facts)
{
    InstalledModel model = {{}, {}, {}, {}, &lint.removed};
    for (const ScriptFolder &folder : lint.folders)
        install(model, folder.path, model.folders);
    for (const ScriptCopy &copy : lint.copies)
        install(model, copy.copy.destination, model.files);
    PathList files = PathList(), dirs = PathList();
    PackageFile file = openScript(source, "rt");
    if (file)
        ReadInstalledPaths(file, &files, &dirs);
    pfClose(file);
    RemoveInstalledPaths(&files, &dirs, PathRemoval{deleteModelFile, removeModelFolder, &model});
    freePathList(&files);
    freePathList(&dirs);

    std::vector<std::pair<int, std::string>> stayed;   // line, key
    for (const auto &folder : facts.lastDirLine)
        if (model.folders.count(folder.first))
            stayed.push_back({folder.second, folder.first});
    std::sort(stayed.begin(), stayed.end());
    for (const auto &folder : stayed) {
        const std::string &shown = model.shown.at(folder.second);
        lint.left.push_back(shown + "\\");
        add(lint, source.name, folder.first, true,
            "the uninstaller leaves the folder '" + shown + "' behind: at its turn it still holds " +
                heldText(model, facts, folder.second));
    }
}

void lintScript(const ScriptSource &source, ScriptLint &lint)
{
    LineFacts facts;
    lintNulByte(lint, source);
    lintLines(lint, source, facts);
    settings = InstallSettings();
    settings.scriptFile = openScript(source, "rt");
    if (settings.scriptFile) {
        ReadSettings();
        pfClose(settings.scriptFile);
        settings.scriptFile = 0;
    }
    lintLinks(lint, source, facts);
    lintDestinations(lint, source, facts);
    lintUninstall(lint, source, facts);
    std::stable_sort(lint.findings.begin(), lint.findings.end(),
                     [](const Finding &a, const Finding &b) { return a.line < b.line; });
}
