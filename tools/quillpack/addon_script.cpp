// Reading the install script the installer's way. The installer opens it in
// Windows text mode and reads it with fgets into a 1024-byte buffer, so a CR
// before a LF never reaches it and a long line arrives in pieces; both passes
// then copy the rest of a COPY line into a 260-byte buffer and cut it at the
// apostrophes. Every limit here is one of those buffers.
#include "tools/quillpack/addon_script.h"

#include <string.h>

#include "package/text.h"

static const char COPY_KEYWORD[] = "COPY '";
static const char DIR_KEYWORD[] = "DIR '";
static const char WHITESPACE[] = " \t\r\n\v\f";

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

// True when some component of path, split at '\' and '/', is "..".
static bool hasParentStep(const std::string &path)
{
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of("\\/", start);
        if (end == std::string::npos)
            end = path.size();
        if (path.compare(start, end - start, "..") == 0)
            return true;
        start = end + 1;
    }
    return false;
}

std::string escapeProblem(const std::string &path)
{
    if (path.empty())
        return "is empty";
    if (path[0] == '\\' || path[0] == '/')
        return "is absolute";
    char first = (char)(path[0] | 0x20);
    if (path.size() >= 2 && first >= 'a' && first <= 'z' && path[1] == ':')
        return "names a drive";
    if (hasParentStep(path))
        return "has a '..' component";
    return "";
}

std::string destinationProblem(const std::string &path)
{
    std::string problem = escapeProblem(path);
    if (!problem.empty() && !path.empty())
        return problem + "; the installer only writes below its destination folder";
    if (!problem.empty())
        return problem;
    if (equalsIgnoreAsciiCase(path.c_str(), "quillfen.exe") ||
        equalsIgnoreAsciiCase(path.c_str(), "quillfen.ini"))
        return "is where the installer keeps its uninstaller copy";
    return "";
}

// The "file:LINE: " that starts a message about a script line.
static std::string at(const char *file, int line)
{
    return std::string(file) + ":" + std::to_string(line) + ": ";
}

// Reads the size that ends a COPY line: optional whitespace, an unsigned
// decimal 32-bit number, optional whitespace. Empty on success, else why not.
static std::string readSize(const std::string &text, uint32_t *size)
{
    size_t start = text.find_first_not_of(WHITESPACE);
    if (start == std::string::npos)
        return "no size after the destination";
    size_t end = start;
    uint64_t value = 0;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
        if (value <= 0xFFFFFFFFu)
            value = value * 10 + (uint64_t)(text[end] - '0');
        end++;
    }
    std::string written = text.substr(start, text.find_last_not_of(WHITESPACE) + 1 - start);
    if (end == start)
        return "size '" + written + "' is not an unsigned decimal number";
    if (text.find_first_not_of(WHITESPACE, end) != std::string::npos)
        return "size '" + written + "' is not an unsigned decimal number";
    if (value > 0xFFFFFFFFu)
        return "size " + written + " is larger than 4294967295";
    *size = (uint32_t)value;
    return "";
}

// Checks what both passes copy into their 260-byte work buffer.
static std::string restProblem(const std::string &rest, const char *keyword)
{
    if (rest.find('\0') != std::string::npos)
        return "the line holds a NUL byte";
    if (rest.size() > COPY_REST_LIMIT)
        return "the line is " + std::to_string(rest.size()) + " characters long after " +
               keyword + " (line feed included); the installer reads at most " +
               std::to_string(COPY_REST_LIMIT);
    return "";
}

// Cuts one COPY line, the installer's way, into entry name, destination and
// size, and checks each. Empty on success, else why the line is refused.
static std::string parseCopyLine(const std::string &piece, CopyLine *copy)
{
    std::string rest = piece.substr(sizeof COPY_KEYWORD - 1);
    std::string problem = restProblem(rest, COPY_KEYWORD);
    if (!problem.empty())
        return problem;
    size_t nameEnd = rest.find('\'');
    if (nameEnd == std::string::npos)
        return "the entry name has no closing apostrophe";
    if (nameEnd + 2 >= rest.size() || rest[nameEnd + 2] != '\'')
        return "expected one character and an apostrophe after the entry name, as in "
               "COPY 'entry' 'destination' size";
    size_t destinationStart = nameEnd + 3;
    size_t destinationEnd = rest.find('\'', destinationStart);
    if (destinationEnd == std::string::npos)
        return "the destination has no closing apostrophe";
    copy->entryName = rest.substr(0, nameEnd);
    copy->destination = rest.substr(destinationStart, destinationEnd - destinationStart);
    problem = readSize(rest.substr(destinationEnd + 1), &copy->size);
    if (!problem.empty())
        return problem;
    problem = entryNameProblem(copy->entryName);
    if (!problem.empty())
        return "entry name '" + copy->entryName + "' " + problem;
    problem = destinationProblem(copy->destination);
    if (!problem.empty())
        return "destination '" + copy->destination + "' " + problem;
    return "";
}

// Checks the folder path of a DIR line the way the copy pass cuts it.
static std::string parseDirLine(const std::string &piece)
{
    std::string rest = piece.substr(sizeof DIR_KEYWORD - 1);
    std::string problem = restProblem(rest, DIR_KEYWORD);
    if (!problem.empty())
        return problem;
    size_t end = rest.find('\'');
    if (end == std::string::npos)
        return "the folder path has no closing apostrophe";
    std::string folder = rest.substr(0, end);
    problem = destinationProblem(folder);
    if (!problem.empty())
        return "folder '" + folder + "' " + problem;
    return "";
}

// Handles one piece as the installer would see it: COPY lines are collected,
// DIR lines checked, everything else passes.
static bool readPiece(const std::string &piece, const char *file, int line,
                      std::vector<CopyLine> &lines, std::string &error)
{
    std::string problem;
    if (piece.compare(0, sizeof COPY_KEYWORD - 1, COPY_KEYWORD) == 0) {
        CopyLine copy;
        copy.line = line;
        problem = parseCopyLine(piece, &copy);
        if (problem.empty())
            lines.push_back(copy);
    } else if (piece.compare(0, sizeof DIR_KEYWORD - 1, DIR_KEYWORD) == 0) {
        problem = parseDirLine(piece);
    }
    if (problem.empty())
        return true;
    error = at(file, line) + problem;
    return false;
}

bool readCopyLines(const Bytes &script, const char *file, std::vector<CopyLine> &lines,
                   std::string &error)
{
    std::string piece;
    int line = 1;         // line of the next byte
    int pieceLine = 1;    // line where the current piece started
    for (size_t i = 0; i < script.size(); i++) {
        unsigned char c = script[i];
        if (c == 0x1A) {
            error = at(file, line) + "a Ctrl-Z byte; Windows text mode ends the script there";
            return false;
        }
        if (c == '\r' && i + 1 < script.size() && script[i + 1] == '\n')
            continue;                        // text mode reads CR LF as LF
        if (piece.empty())
            pieceLine = line;
        piece += (char)c;
        if (c == '\n')
            line++;
        if (c != '\n' && piece.size() < SCRIPT_READ_LIMIT)
            continue;
        if (!readPiece(piece, file, pieceLine, lines, error))
            return false;
        piece.clear();
    }
    return piece.empty() || readPiece(piece, file, pieceLine, lines, error);
}
