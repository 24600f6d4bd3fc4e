// Reading the install script the installer's way: the installer's own line
// reading (pfGets in text mode) and grammar, with a sentence for each way a
// line can fail.
#include "tools/quillpack/addon_script.h"

#include <string.h>

#include "base/text.h"
#include "script/install_settings.h"

Bytes withCrLf(const Bytes &text)
{
    Bytes out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out.push_back('\r');
        out.push_back(text[i]);
    }
    return out;
}

std::string lookupName(const std::string &entryName)
{
    size_t n = entryName.size();
    if (n > 3 && entryName.compare(n - 3, 3, ".gz") == 0)
        return entryName;
    return entryName + ".gz";
}

std::string entryNameProblem(const std::string &name)
{
    if (name.empty())
        return "is empty";
    if (name.find('/') != std::string::npos)
        return "contains '/', which the installer's lookup turns into '\\'";
    if (name.find("..") != std::string::npos)
        return "contains '..', which the installer's lookup removes";
    if (name[0] == '\\')
        return "starts with '\\'";
    if (name.find("\\\\") != std::string::npos || name.back() == '\\')
        return "has an empty folder name";
    return "";
}

std::string pathProblemText(PathProblem problem)
{
    switch (problem) {
    case PATH_INSIDE:
        return "";
    case PATH_ABSOLUTE:
        return "is absolute";
    case PATH_COLON:
        return "holds a ':' (a drive or a stream)";
    case PATH_PARENT_STEP:
        return "has a '..' component";
    case PATH_DEVICE:
        return "names a device (CON, PRN, AUX, NUL, COM1-9 or LPT1-9)";
    case PATH_COMPONENT_END:
        return "has a name that ends in '.' or a blank, which Windows drops";
    }
    return "is refused";
}

std::string destinationProblem(const std::string &path)
{
    if (path.empty())
        return "is empty";
    PathProblem problem = relativePathProblem(path.c_str());
    if (problem != PATH_INSIDE)
        return pathProblemText(problem) + "; the installer only writes below its destination folder";
    if (!isPayloadPlace(path.c_str()))
        return "is where the installer keeps its uninstaller copy";
    return "";
}

int nulByteLine(const Bytes &script)
{
    int line = 1;
    for (unsigned char c : script) {
        if (c == '\0')
            return line;
        if (c == '\n')
            line++;
    }
    return 0;
}

// Why a COPY ' or DIR ' line does not parse, in an author's words.
static std::string statusText(LineStatus status, ScriptKeyword keyword, const char *rest)
{
    switch (status) {
    case LINE_OK:
        return "";
    case LINE_TOO_LONG:
        return "the line is " + std::to_string(strlen(rest)) + " characters long after " +
               keywordText(keyword) + " (line feed included); the installer reads at most " +
               std::to_string(PATH_SIZE - 1);
    case LINE_NO_NAME_END:
        return keyword == KEYWORD_COPY ? "the entry name has no closing apostrophe"
                                       : "the folder path has no closing apostrophe";
    case LINE_NO_GAP:
        return "expected one character and an apostrophe after the entry name, as in "
               "COPY 'entry' 'destination' size";
    case LINE_NO_DESTINATION_END:
        return "the destination has no closing apostrophe";
    case LINE_NO_SIZE:
        return "no size after the destination: an unsigned decimal number up to 4294967295";
    }
    return "cannot be read";
}

static std::string copyProblem(const char *rest, CopyLine *copy)
{
    std::string problem = statusText(parseCopyLine(rest, copy), KEYWORD_COPY, rest);
    if (!problem.empty())
        return problem;
    problem = entryNameProblem(copy->entryName);
    if (!problem.empty())
        return "entry name '" + std::string(copy->entryName) + "' " + problem;
    problem = destinationProblem(copy->destination);
    if (!problem.empty())
        return "destination '" + std::string(copy->destination) + "' " + problem;
    return "";
}

static std::string folderProblem(const char *rest)
{
    char folder[PATH_SIZE];
    std::string problem = statusText(parseDirLine(rest, folder, sizeof folder), KEYWORD_FOLDER, rest);
    if (problem.empty())
        problem = destinationProblem(folder);
    return problem.empty() ? "" : "folder '" + std::string(folder) + "' " + problem;
}

// Why the scan of quoted values stopped before the values the line needs:
// GROUP= and PRODUCT= one name; LINK= and DESK= a target and a link name,
// and arguments that may be missing but must not be misread. "" when the
// installer reads the line as written.
static std::string quotedProblem(ScriptKeyword keyword, const char *rest)
{
    bool link = keyword == KEYWORD_LINK || keyword == KEYWORD_DESK;
    int count = link ? 3 : 1, needed = link ? 2 : 1;
    const char *const names[] = {link ? "the target" : "the name", "the link name", "the arguments"};
    char values[3][PATH_SIZE];
    char *fields[] = {values[0], values[1], values[2]};
    QuotedStop stop;
    int stored = scanQuotedValues(rest, fields, count, PATH_SIZE, &stop);
    std::string form = std::string(keywordText(keyword)) +
                       (link ? " \"target\" \"link name\" \"arguments\"" : " \"name\"");
    switch (stop) {
    case QUOTED_ALL:
        return "";
    case QUOTED_NO_GAP:
        return std::string("no blank before the opening quote of ") + names[stored] +
               ", so the installer reads nothing from there on; write " + form;
    case QUOTED_NO_VALUE:
    case QUOTED_EMPTY:
        if (stored >= needed)
            return "";
        return std::string(stop == QUOTED_EMPTY ? "empty quotes for " : "no quoted value for ") +
               names[stored] + ", so the installer reads nothing there; write " + form;
    case QUOTED_UNCLOSED:
        return std::string(names[stored - 1]) + " has no closing quote";
    case QUOTED_TOO_LONG:
        return std::string(names[stored - 1]) + " is longer than the " + std::to_string(PATH_SIZE - 1) +
               " characters the installer keeps";
    }
    return "";
}

// A GROUP= name, or the link name of a LINK= or DESK= line, that would
// leave its folder.
static std::string nameProblem(ScriptKeyword keyword, const char *rest)
{
    char values[3][PATH_SIZE] = {};
    char *fields[] = {values[0], values[1], values[2]};
    bool group = keyword == KEYWORD_GROUP;
    scanQuotedValues(rest, fields, group ? 1 : 3, PATH_SIZE);
    const char *name = group ? values[0] : values[1];
    PathProblem problem = relativePathProblem(name);
    if (problem == PATH_INSIDE)
        return "";
    return std::string(group ? "group '" : "link name '") + name + "' " + pathProblemText(problem) +
           (group ? "; the group folder must stay in the Start menu's Programs folder"
                  : "; the link must stay in its folder");
}

// A value to the end of the line (DIR=, INSTALL_KEY=, INSTALL_VALUE=) that
// does not fit its field of size bytes, which holds it with its line feed.
static std::string lineValueProblem(ScriptKeyword keyword, const char *rest, size_t size)
{
    size_t length = strcspn(rest, "\n");
    if (length <= size - 2)
        return "";
    return std::string(keywordText(keyword)) + " value is " + std::to_string(length) +
           " characters long; the installer keeps " + std::to_string(size - 2);
}

// A line that looks like a keyword but is not one.
static std::string misplacedProblem(const char *line)
{
    ScriptKeyword meant = misplacedKeyword(line);
    if (meant == KEYWORD_NONE)
        return "";
    std::string why = line[0] == ' ' || line[0] == '\t' ? "starts with a blank"
                                                        : "is not written in upper case";
    return "the keyword " + why + ", so the installer ignores the line; write " + keywordText(meant) +
           " at the very start";
}

std::string lineError(const char *line, ScriptKeyword keyword, const char *rest, CopyLine *copy)
{
    std::string problem;
    switch (keyword) {
    case KEYWORD_NONE:
        return misplacedProblem(line);
    case KEYWORD_COPY:
        return copyProblem(rest, copy);
    case KEYWORD_FOLDER:
        return folderProblem(rest);
    case KEYWORD_GROUP:
    case KEYWORD_PRODUCT:
    case KEYWORD_LINK:
    case KEYWORD_DESK:
        problem = quotedProblem(keyword, rest);
        break;
    case KEYWORD_DESTINATION:
        return lineValueProblem(keyword, rest, sizeof(InstallSettings::destinationDir));
    case KEYWORD_INSTALL_KEY:
        return lineValueProblem(keyword, rest, sizeof(InstallSettings::installKey));
    case KEYWORD_INSTALL_VALUE:
        return lineValueProblem(keyword, rest, sizeof(InstallSettings::installValue));
    default:
        return "";
    }
    if (problem.empty() && keyword != KEYWORD_PRODUCT)
        problem = nameProblem(keyword, rest);
    return problem;
}
