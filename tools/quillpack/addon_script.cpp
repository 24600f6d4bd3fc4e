// Reading the install script the installer's way: the installer's own line
// reading (pfGets in text mode) and grammar, with a sentence for each way a
// line can fail.
#include "tools/quillpack/addon_script.h"

#include <string.h>

#include "base/text.h"

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

std::string nulByteProblem(const Bytes &script)
{
    int line = 1;
    for (unsigned char c : script) {
        if (c == '\0')
            return std::to_string(line) + ": the line holds a NUL byte; the installer reads it only up to there";
        if (c == '\n')
            line++;
    }
    return "";
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

static std::string lineProblem(const char *line, std::vector<ScriptCopy> &lines, int number)
{
    const char *rest;
    ScriptKeyword keyword = lineKeyword(line, &rest);
    switch (keyword) {
    case KEYWORD_COPY: {
        ScriptCopy found = {number, {}};
        std::string problem = copyProblem(rest, &found.copy);
        if (problem.empty())
            lines.push_back(found);
        return problem;
    }
    case KEYWORD_FOLDER:
        return folderProblem(rest);
    case KEYWORD_GROUP:
    case KEYWORD_LINK:
    case KEYWORD_DESK:
        return nameProblem(keyword, rest);
    default:
        return "";
    }
}

bool readCopyLines(PackageFile file, const char *name, std::vector<ScriptCopy> &lines,
                   std::string &error)
{
    char line[SCRIPT_LINE_SIZE];
    int number = 1;    // the file's line of the next piece
    while (pfGets(line, sizeof line, file)) {
        std::string problem = lineProblem(line, lines, number);
        if (!problem.empty()) {
            error = std::string(name) + ":" + std::to_string(number) + ": " + problem;
            return false;
        }
        // A line longer than one read arrives in pieces; only the last ends
        // the file's line.
        size_t length = strlen(line);
        if (length > 0 && line[length - 1] == '\n')
            number++;
    }
    return true;
}
