// quillpack plan: what an installer will do, then what its uninstaller will
// undo, read with the installer's own code. The package is opened as the
// installer opens its own file; the settings come from the settings pass
// over the script entry; the folders and files from the copy pass's lines;
// the link places from the installer's link_places on symbolic special
// folders; what uninstalling removes, and leaves, from the uninstaller's own
// reading and walk (script_lint.h). Where the installer asks Windows, the
// plan names the place: <destination>, <Programs>, <Desktop>.
#include "tools/quillpack/quillpack.h"

#include <string.h>

#include <set>

#include "base/messages.h"
#include "base/names.h"
#include "base/text.h"
#include "package/integrity.h"
#include "package/package.h"
#include "script/install_settings.h"
#include "system/link_places.h"
#include "tools/quillpack/addon_script.h"
#include "tools/quillpack/script_lint.h"

static const char DESTINATION[] = "<destination>";

// One line of the plan: a word for the step, then what it applies to.
static void step(std::string &out, const char *what, const std::string &text)
{
    out += "  " + std::string(what) + std::string(13 - strlen(what), ' ') + text + "\n";
}

// A detail of the step above, on a line of its own.
static void detail(std::string &out, const char *what, const std::string &text)
{
    out += "    " + std::string(what) + std::string(16 - strlen(what), ' ') + text + "\n";
}

static std::string below(const std::string &path)
{
    return std::string(DESTINATION) + "\\" + path;
}

static std::string bytes(uint64_t n)
{
    std::string digits = std::to_string(n);
    for (int at = (int)digits.size() - 3; at > 0; at -= 3)
        digits.insert((size_t)at, ",");
    return digits + (n == 1 ? " byte" : " bytes");
}

static void planDestination(std::string &out)
{
    step(out, "destination", settings.destinationDir[0] ? settings.destinationDir
                                                        : "(none proposed: the field starts empty)");
    detail(out, "replaced by", std::string("the game's folder, when HKLM\\") + GAME_KEY + ", value " +
                                   GAME_FOLDER_VALUE + " holds one");
    detail(out, "or by", std::string("the folder the player chooses; ") + DESTINATION + " below is the one used");
    PackageEntry *agreement = findPackageEntry(AGREEMENT_NAME);
    step(out, "agreement", agreement ? std::string(AGREEMENT_NAME) + ", " + bytes((uint32_t)agreement->size)
                                     : "(none: the installer goes straight on)");
    char sizeText[128];
    FormatSizeText(settings.totalBytes, sizeText, sizeof sizeText);
    step(out, "size line", std::string(sizeText) + " (" + bytes(settings.totalBytes) + ")");
}

// The links in the order the installer makes them, each with the place the
// installer's own link_places gives it.
static void planLinks(std::string &out, const char *verb, bool removing)
{
    char groupFolder[PATH_SIZE];
    bool haveGroup = ScriptGroupFolder(groupFolder, sizeof groupFolder);
    if (!removing && haveGroup && settings.groupName[0])
        step(out, "folder", std::string(groupFolder) + " (the program group)");
    for (int32_t n = 0; n < settings.shortcutCount; n++) {
        int32_t i = removing ? settings.shortcutCount - 1 - n : n;
        ShortcutRecord link = settings.shortcuts[i];
        char path[PATH_SIZE];
        if (!AssignLinkFolder(&link, haveGroup ? groupFolder : 0) || !LinkFilePath(&link, path, sizeof path))
            continue;
        step(out, verb, path);
        if (removing)
            continue;
        detail(out, "target", below(link.targetName));
        detail(out, "arguments", link.arguments[0] ? link.arguments : "(none)");
        detail(out, "working folder", DESTINATION);
        detail(out, "icon", "index " + std::to_string(LinkIconIndex(&link)) + " of the target");
    }
    if (removing && haveGroup && settings.groupName[0])
        step(out, "remove", std::string(groupFolder) + " (once empty)");
}

// The folders and files of the copy pass, in script order; a folder listed
// again is there already and shown once.
static void planCopyPass(std::string &out, const ScriptLint &lint)
{
    std::set<std::string> made;
    size_t folder = 0, copy = 0;
    while (folder < lint.folders.size() || copy < lint.copies.size()) {
        bool folderFirst = copy == lint.copies.size() ||
                           (folder < lint.folders.size() && lint.folders[folder].line < lint.copies[copy].line);
        if (folderFirst) {
            const std::string &path = lint.folders[folder++].path;
            if (made.insert(pathKey(path)).second)
                step(out, "folder", below(path));
            continue;
        }
        const CopyLine &line = lint.copies[copy++].copy;
        step(out, "file", below(line.destination) + ", " + bytes(line.size) + " from " + lookupName(line.entryName));
    }
}

static void planInstalling(std::string &out, const ScriptLint &lint)
{
    planDestination(out);
    step(out, "file", below(UNINSTALLER_NAME) + " (the uninstaller)");
    step(out, "file", below(SCRIPT_NAME) + " (its script)");
    planCopyPass(out, lint);
    if (settings.bWriteInstallKey)
        step(out, "registry", std::string("HKLM\\SOFTWARE\\") + settings.installKey + ", value " +
                                  settings.installValue + " = " + DESTINATION);
    planLinks(out, "link", false);
    if (settings.bInstallDlls)
        step(out, "runtime", "starts " + below(REDISTRIBUTABLE_NAME) + " when the runtime libraries fail their check");
}

static void planUninstalling(std::string &out, const ScriptLint &lint)
{
    char question[PATH_SIZE];
    formatText(question, sizeof question, messageTable[MSG_CONFIRM_UNINSTALL], settings.productName);
    step(out, "asks", question);
    planLinks(out, "delete", true);
    for (const std::string &path : lint.removed)
        step(out, path.back() == '\\' ? "remove" : "delete", below(path.substr(0, path.find_last_not_of('\\') + 1)));
    step(out, "delete", below(UNINSTALLER_NAME) + " (the clean-up stage)");
    step(out, "delete", below(SCRIPT_NAME) + " (the clean-up stage)");
    for (const std::string &path : lint.left)
        step(out, "leaves", below(path.substr(0, path.size() - 1)));
    step(out, "leaves", std::string(DESTINATION) + " itself" + (lint.left.empty() ? ", empty" : ""));
    if (settings.bWriteInstallKey)
        step(out, "leaves", std::string("HKLM\\SOFTWARE\\") + settings.installKey + ", value " + settings.installValue);
}

bool planInstaller(const std::string &path, std::string &out, std::vector<Finding> &findings)
{
    if (!verifyInstaller(path, findings))
        return false;
    openInstallerPackage(path.c_str());
    ScriptLint lint;
    lintScript({SCRIPT_NAME, true}, lint);
    out = "Installing " + path + " (" + settings.productName + "):\n";
    planInstalling(out, lint);
    out += "Uninstalling it:\n";
    planUninstalling(out, lint);
    closePackage(path.c_str());
    return true;
}
