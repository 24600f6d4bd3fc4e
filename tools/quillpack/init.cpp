// quillpack init: a starting install script for an add-on folder. Every file
// gets a COPY line with its entry name and unpacked size, every folder a DIR
// line. The copy pass makes one folder level per DIR line, so folders come
// parents first; the uninstaller removes folders in one forward walk, each
// only when it is empty at its line, so every folder that holds folders is
// listed once more after them. The script is linted before it replaces
// anything: what init writes, build takes.
#include "tools/quillpack/quillpack.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>

#include "base/names.h"
#include "base/text.h"
#include "tools/quillpack/addon_script.h"
#include "tools/quillpack/folder.h"
#include "tools/quillpack/gzip_member.h"
#include "tools/quillpack/script_lint.h"

const char INIT_DESTINATION[] = "C:\\Program Files\\Brakmoor\\Tundra Vale";
const char INIT_INSTALL_KEY[] = "Brakmoor\\Tundravale";

static const char PARTIAL_SUFFIX[] = ".partial";

// The agreement init writes when the folder has none: Polish, code page
// 1250, CR LF line ends, with the product's name in its title.
static const char AGREEMENT_TEXT[] =
    "UMOWA LICENCYJNA - %s\r\n"
    "\r\n"
    "Tu wpisz tekst umowy, kt\xf3ry gracz przeczyta przed instalacj\xb9 dodatku.\r\n"
    "\r\n"
    "Naci\x9cnij OK, aby zaakceptowa\xe6 warunki umowy i kontynuowa\xe6 instalacj\xea, "
    "lub Cancel, aby j\xb9 przerwa\xe6.\r\n";

namespace {

// A file of the add-on and the COPY line that installs it.
struct AddonFile {
    std::string path;         // below the add-on folder, '\' separated
    std::string entry;        // the COPY line's entry name
    std::string destination;  // the file it writes below the destination
    uint64_t size;            // unpacked size
    bool packed;              // a gzip member that installs unpacked
};

// What init finds in the add-on folder; names '\' separated, in name order.
struct AddonTree {
    std::vector<std::string> folders;        // parents first
    std::vector<AddonFile> files;
    std::map<std::string, std::string> keys; // pathKey -> the name that has it
    std::map<std::string, std::string> entries; // pathKey of a package entry -> its file
};

}  // namespace

// The file's COPY line: a whole gzip member whose name ends in ".gz" is
// taken as it is and installs unpacked, without ".gz"; any other file is
// compressed and installs as it is (a ".gz" file that is no member gets the
// entry name "NAME.gz.gz", which the installer opens as it is).
static bool describeFile(const std::string &disk, AddonFile &file, std::string &error)
{
    struct stat info;
    if (stat(disk.c_str(), &info) != 0) {
        error = disk + ": " + strerror(errno);
        return false;
    }
    file.size = (uint64_t)info.st_size;
    file.entry = file.destination = file.path;
    file.packed = false;
    size_t n = file.path.size();
    if (n > 3 && file.path.compare(n - 3, 3, ".gz") == 0) {
        uint32_t unpacked;
        std::string ignored;
        file.packed = checkGzipMember(disk, &unpacked, ignored);
        if (file.packed) {
            file.destination.resize(n - 3);
            file.size = unpacked;
        } else {
            file.entry += ".gz";
        }
    }
    if (file.size > 0xFFFFFFFFu) {
        error = disk + ": larger than 4294967295 bytes, the most a COPY line can name";
        return false;
    }
    return true;
}

// Two names the installer cannot tell apart: Windows ignores their case.
static bool claimName(AddonTree &tree, const std::string &name, std::string &error)
{
    auto taken = tree.keys.emplace(pathKey(name), name);
    if (taken.second)
        return true;
    error = "'" + taken.first->second + "' and '" + name + "' differ only in case, which Windows does not "
            "tell apart; rename one";
    return false;
}

// Two files the installer would open as one entry ("x" and the member
// "x.gz"): build could not tell which one to pack.
static bool claimEntry(AddonTree &tree, const AddonFile &file, std::string &error)
{
    auto taken = tree.entries.emplace(pathKey(lookupName(file.entry)), file.path);
    if (taken.second)
        return true;
    error = "'" + taken.first->second + "' and '" + file.path + "' would both be the package entry '" +
            lookupName(file.entry) + "'; keep one";
    return false;
}

// Adds the files and folders below disk (the add-on folder's path of
// prefix, "" for the folder itself) to tree, in name order.
static bool walk(const std::string &root, const std::string &disk, const std::string &prefix, AddonTree &tree,
                 std::string &error)
{
    std::vector<std::string> names;
    if (!listFolder(disk, names, error))
        return false;
    std::sort(names.begin(), names.end(), [](const std::string &a, const std::string &b) {
        return lowerAscii(a) != lowerAscii(b) ? lowerAscii(a) < lowerAscii(b) : a < b;
    });
    for (const std::string &onDisk : names) {
        std::string child = disk + "/" + onDisk, name;
        if (!scriptName(onDisk, name)) {
            error = child + ": the name has a character that the installer's code page (1250) does not hold";
            return false;
        }
        bool top = prefix.empty();
        if (top && (lowerAscii(name) == lowerAscii(SCRIPT_NAME) || lowerAscii(name) == lowerAscii(AGREEMENT_NAME)))
            continue;
        if (name.find_first_of("'\\") != std::string::npos) {
            error = child + ": the name holds an apostrophe or a backslash, which a script line cannot name";
            return false;
        }
        std::string path = prefix.empty() ? name : prefix + "\\" + name;
        if (isLink(child) && !isInsideFolder(child, root)) {
            error = child + ": a symbolic link that leads out of the add-on folder; quillpack does not follow it";
            return false;
        }
        if (!claimName(tree, path, error)) {
            error = root + ": " + error;
            return false;
        }
        if (isFolder(child)) {
            if (isLink(child)) {
                error = child + ": a symbolic link to a folder; init lists every folder once, so it does not "
                        "follow it: put the folder itself there";
                return false;
            }
            tree.folders.push_back(path);
            if (!walk(root, child, path, tree, error))
                return false;
        } else if (isRegularFile(child)) {
            AddonFile file;
            file.path = path;
            if (!describeFile(child, file, error))
                return false;
            if (!claimEntry(tree, file, error)) {
                error = root + ": " + error;
                return false;
            }
            tree.files.push_back(file);
        } else {
            error = child + ": neither a file nor a folder that can be read";
            return false;
        }
    }
    return true;
}

// Folders the way both passes need them: parents first for the copy pass,
// then every folder that holds folders once more, deepest first, for the
// uninstaller's one forward walk.
static std::vector<std::string> folderLines(const std::vector<std::string> &folders)
{
    std::vector<std::string> lines = folders;
    // In walk order a folder's first subfolder comes right after it, and
    // reversed, every folder comes after all the folders inside it.
    for (size_t i = folders.size(); i-- > 0;)
        if (i + 1 < folders.size() && folders[i + 1].compare(0, folders[i].size() + 1, folders[i] + "\\") == 0)
            lines.push_back(folders[i]);
    return lines;
}

// The product's name without blanks, then "Dir": the registry value that
// records where the add-on went.
static std::string defaultValueName(const std::string &product)
{
    std::string name;
    for (char c : product)
        if (c != ' ')
            name += c;
    return name + "Dir";
}

// The script's text for tree and options (all defaults filled in).
static std::string scriptText(const InitOptions &options, const AddonTree &tree)
{
    std::string text = "; " + options.product + ": install script of the quillfen installer,\n"
                       "; first written by quillpack init. A line starting with ';' is a comment;\n"
                       "; keywords are upper case and start the line.\n\n"
                       "; Where the add-on goes when the game has recorded no folder of its own.\n"
                       "DIR=" + options.destination + "\n"
                       "PRODUCT= \"" + options.product + "\"\n"
                       "GROUP= \"" + options.group + "\"\n\n"
                       "; The uninstall link in the program group.\n"
                       "LINK= \"" + UNINSTALLER_NAME + "\" \"Uninstallation\" \"" + UNINSTALL_OPTION + "\"\n\n"
                       "; The registry value that receives the destination: HKEY_LOCAL_MACHINE\\\n"
                       ";   SOFTWARE\\" + options.installKey + ", value " + options.installValue + ".\n"
                       "INSTALL_KEY=" + options.installKey + "\n"
                       "INSTALL_VALUE=" + options.installValue + "\n";
    if (!tree.folders.empty())
        text += "\n; Folders, one level per line, parents first. The uninstaller removes each\n"
                "; folder at its line when it is empty by then, so a folder that holds folders\n"
                "; comes once more after them.\n";
    for (const std::string &folder : folderLines(tree.folders))
        text += "DIR '" + folder + "'\n";
    if (!tree.files.empty())
        text += "\n; COPY 'entry' 'destination' size: the package entry, one blank, the file to\n"
                "; write below the destination and its unpacked size in bytes.\n";
    for (const AddonFile &file : tree.files) {
        if (file.packed)
            text += "; " + file.path + " is a gzip member: it installs unpacked.\n";
        text += "COPY '" + file.entry + "' '" + file.destination + "' " + std::to_string(file.size) + "\n";
    }
    return text;
}

// Writes text to path through a partial file that replaces path at the end.
static bool writeText(const std::string &path, const std::string &text, std::string &error)
{
    std::string partial = path + PARTIAL_SUFFIX;
    FILE *out = fopen(partial.c_str(), "wb");
    if (!out) {
        error = partial + ": " + strerror(errno);
        return false;
    }
    bool ok = fwrite(text.data(), 1, text.size(), out) == text.size();
    ok = fclose(out) == 0 && ok;
    if (!ok)
        error = partial + ": " + strerror(errno);
    if (ok && !replaceFile(partial, path, error))
        ok = false;
    if (!ok)
        remove(partial.c_str());
    return ok;
}

// Lints the script text as build will, from a partial file beside the
// script; false with every error in error, named after the script.
static bool lintText(const std::string &path, const std::string &text, std::string &error)
{
    std::string partial = path + PARTIAL_SUFFIX;
    FILE *out = fopen(partial.c_str(), "wb");
    if (!out || fwrite(text.data(), 1, text.size(), out) != text.size() || fclose(out) != 0) {
        error = partial + ": " + strerror(errno);
        if (out)
            remove(partial.c_str());
        return false;
    }
    ScriptLint lint;
    lintScript({partial, false}, lint);
    remove(partial.c_str());
    for (Finding finding : lint.findings)
        if (!finding.warning) {
            finding.file = path;
            error += (error.empty() ? "" : "\n") + formatFinding(finding);
        }
    return error.empty();
}

// The options with every default filled in.
static InitOptions withDefaults(InitOptions options)
{
    if (options.product.empty()) {
        std::string dir = options.addonDir;
        while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\'))
            dir.pop_back();
        options.product = dir.substr(dir.find_last_of("/\\") + 1);
    }
    if (options.group.empty())
        options.group = options.product;
    if (options.destination.empty())
        options.destination = INIT_DESTINATION;
    if (options.installKey.empty())
        options.installKey = INIT_INSTALL_KEY;
    if (options.installValue.empty())
        options.installValue = defaultValueName(options.product);
    return options;
}

bool initAddon(const InitOptions &given, std::string &error, Totals *totals)
{
    InitOptions options = withDefaults(given);
    const std::string &dir = options.addonDir;
    // The command line gives text as the system holds it; the script holds
    // the installer's code page.
    for (std::string *text : {&options.product, &options.group, &options.destination, &options.installKey,
                              &options.installValue})
        if (!scriptName(*text, *text)) {
            error = "'" + *text + "': a character that the installer's code page (1250) does not hold";
            return false;
        }
    if (!isFolder(dir)) {
        error = dir + ": not a folder";
        return false;
    }
    FolderCache cache;
    std::string scriptPath, agreementPath;
    int haveScript = findIgnoringCase(cache, dir, {SCRIPT_NAME}, scriptPath, error);
    int haveAgreement = findIgnoringCase(cache, dir, {AGREEMENT_NAME}, agreementPath, error);
    if (haveScript < 0 || haveAgreement < 0)
        return false;
    if (haveScript && !options.force) {
        error = scriptPath + ": already there; give --force to replace it";
        return false;
    }
    AddonTree tree;
    if (!walk(dir, dir, "", tree, error))
        return false;
    std::string text = scriptText(options, tree);
    if (!haveScript)
        scriptPath = dir + "/" + SCRIPT_NAME;
    if (!lintText(scriptPath, text, error) || !writeText(scriptPath, text, error))
        return false;
    if (!haveAgreement) {
        std::string agreement(sizeof AGREEMENT_TEXT + options.product.size(), '\0');
        agreement.resize((size_t)snprintf(&agreement[0], agreement.size(), AGREEMENT_TEXT, options.product.c_str()));
        if (!writeText(dir + "/" + AGREEMENT_NAME, agreement, error))
            return false;
    }
    if (totals) {
        *totals = {(uint32_t)tree.files.size(), 0};
        for (const AddonFile &file : tree.files)
            totals->bytes += file.size;
    }
    return true;
}
