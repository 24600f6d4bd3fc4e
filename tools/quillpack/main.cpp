// quillpack's command line. Exit status: 0 success, 1 failure, 2 bad usage.
// A command that succeeds prints one line on stdout saying what it did (plan
// prints its plan); problems go to stderr.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <vector>

#include "base/names.h"
#include "tools/quillpack/folder.h"
#include "tools/quillpack/quillpack.h"

// Where quillpack finds the stub when --stub is not given, relative to its
// own folder: beside it (a folder holding quillpack.exe and quillfen.exe),
// and where `make install` puts it (PREFIX/bin -> PREFIX/share/quillfen;
// the build defines INSTALLED_STUB from its install rules).
static const char *const STUB_PLACES[] = {UNINSTALLER_NAME, INSTALLED_STUB};

// The usage text; init's defaults are filled in from INIT_DESTINATION and
// INIT_INSTALL_KEY.
static const char USAGE[] =
    "usage:\n"
    "  quillpack init ADDON_DIR [--product NAME] [--group NAME] [--dir FOLDER]\n"
    "                 [--key KEY] [--value NAME] [--force]\n"
    "      write a starting quillfen.ini for the files in ADDON_DIR (and a starting\n"
    "      Umowa.txt when there is none); an existing script only with --force\n"
    "        --product  PRODUCT=, the add-on's name        [the folder's name]\n"
    "        --group    GROUP=, its Start-menu folder      [the product]\n"
    "        --dir      DIR=, the proposed destination     [%s]\n"
    "        --key      INSTALL_KEY=, below HKLM\\SOFTWARE  [%s]\n"
    "        --value    INSTALL_VALUE=, the value that records the destination\n"
    "                                                      [the product without blanks, then Dir]\n"
    "  quillpack build [--stub quillfen.exe] [--threads N] ADDON_DIR -o SETUP.exe\n"
    "      check ADDON_DIR (quillfen.ini, Umowa.txt, the files its COPY lines name)\n"
    "      as verify does and pack it behind the installer stub into SETUP.exe;\n"
    "      without --stub, the stub installed with quillpack; compressing on N\n"
    "      threads (default: one per core), with the same output whatever N is\n"
    "  quillpack list SETUP.exe            show the entries of an installer\n"
    "  quillpack verify [--strict] SETUP.exe\n"
    "      read the installer as it will read itself and report every error and\n"
    "      warning; status 1 on an error, with --strict on a warning too\n"
    "  quillpack plan SETUP.exe            what installing and uninstalling it will do\n"
    "  quillpack extract SETUP.exe DIR     write every entry's stored bytes below DIR\n"
    "  quillpack --help                    this text\n";

// The usage text with init's defaults.
static std::string usage()
{
    char text[sizeof USAGE + 256];
    snprintf(text, sizeof text, USAGE, INIT_DESTINATION, INIT_INSTALL_KEY);
    return text;
}

// Reports a command line that cannot be run, with the usage text; status 2.
static int usageError(const char *problem)
{
    fprintf(stderr, "quillpack: %s\n%s", problem, usage().c_str());
    return 2;
}

typedef std::chrono::steady_clock Clock;

// n with a comma between each group of three digits.
static std::string grouped(uint64_t n)
{
    std::string digits = std::to_string(n);
    for (int at = (int)digits.size() - 3; at > 0; at -= 3)
        digits.insert((size_t)at, ",");
    return digits;
}

// "N entries, N bytes in T s": totals with their nouns, and the time since
// start.
static std::string summary(const Totals &totals, const char *entries, const char *bytes,
                           Clock::time_point start)
{
    char time[32];
    snprintf(time, sizeof time, " in %.2f s", std::chrono::duration<double>(Clock::now() - start).count());
    return grouped(totals.entries) + " " + entries + ", " + grouped(totals.bytes) + " " + bytes + time;
}

// The installed stub: the first of STUB_PLACES that is a file. Else ""
// with looked set to the places tried.
static std::string installedStub(std::string &looked)
{
    std::string self = ownExecutable();
    size_t slash = self.find_last_of("/\\");
    if (slash == std::string::npos) {
        looked = "(the system does not say where quillpack is)";
        return "";
    }
    for (const char *place : STUB_PLACES) {
        std::string path = self.substr(0, slash + 1) + place;
        if (isRegularFile(path))
            return path;
        looked += (looked.empty() ? "" : ", ") + path;
    }
    return "";
}

// One line per problem on the standard error stream.
static void printProblems(const std::vector<std::string> &problems)
{
    for (const std::string &p : problems)
        fprintf(stderr, "%s\n", p.c_str());
}

// Every finding on the standard error stream, in the order found.
static void printFindings(const std::vector<Finding> &findings)
{
    for (const Finding &finding : findings)
        fprintf(stderr, "%s\n", formatFinding(finding).c_str());
}

// init ADDON_DIR [options]
static int runInit(int argc, char **argv)
{
    Clock::time_point start = Clock::now();
    InitOptions options;
    struct { const char *name; std::string *value; } values[] = {
        {"--product", &options.product}, {"--group", &options.group}, {"--dir", &options.destination},
        {"--key", &options.installKey},  {"--value", &options.installValue}};
    for (int i = 2; i < argc; i++) {
        bool taken = false;
        for (auto &option : values)
            if (strcmp(argv[i], option.name) == 0 && i + 1 < argc) {
                *option.value = argv[++i];
                taken = true;
            }
        if (taken)
            continue;
        if (strcmp(argv[i], "--force") == 0)
            options.force = true;
        else if (argv[i][0] != '-' && options.addonDir.empty())
            options.addonDir = argv[i];
        else
            return usageError((std::string("unexpected argument '") + argv[i] + "'").c_str());
    }
    if (options.addonDir.empty())
        return usageError("init needs an add-on folder");
    std::string error;
    Totals totals;
    if (!initAddon(options, error, &totals)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    printf("quillpack: wrote %s/%s: %s\n", options.addonDir.c_str(), SCRIPT_NAME,
           summary(totals, "files", "bytes", start).c_str());
    return 0;
}

// build [--stub STUB] [--threads N] ADDON_DIR -o OUTPUT, options in any order.
static int runBuild(int argc, char **argv)
{
    Clock::time_point start = Clock::now();
    BuildOptions options;
    for (int i = 2; i < argc; i++) {
        if (strcmp(argv[i], "--stub") == 0 && i + 1 < argc)
            options.stubPath = argv[++i];
        else if (strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            options.outputPath = argv[++i];
        else if (strcmp(argv[i], "--threads") == 0 && i + 1 < argc) {
            char *end;
            unsigned long n = strtoul(argv[++i], &end, 10);
            if (*end || n < 1 || n > 256 || !isdigit((unsigned char)argv[i][0]))
                return usageError("--threads takes a number from 1 to 256");
            options.threads = (unsigned)n;
        }
        else if (argv[i][0] != '-' && options.addonDir.empty())
            options.addonDir = argv[i];
        else
            return usageError((std::string("unexpected argument '") + argv[i] + "'").c_str());
    }
    if (options.addonDir.empty() || options.outputPath.empty())
        return usageError("build needs an add-on folder and -o");
    std::string looked;
    if (options.stubPath.empty() && (options.stubPath = installedStub(looked)).empty()) {
        fprintf(stderr, "quillpack: no installer stub installed (looked for %s); "
                        "give one with --stub quillfen.exe\n", looked.c_str());
        return 2;
    }
    std::string error;
    Totals totals;
    std::vector<Finding> findings;
    bool built = buildInstaller(options, error, &totals, &findings);
    printFindings(findings);
    if (!built) {
        if (!hasErrors(findings))
            fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    printf("quillpack: wrote %s: %s\n", options.outputPath.c_str(),
           summary(totals, "entries", "bytes", start).c_str());
    return 0;
}

// list SETUP.exe: the table on stdout; 1 when it cannot be loaded.
static int runList(const char *path)
{
    std::string error;
    if (listInstaller(path, stdout, error))
        return 0;
    fprintf(stderr, "%s\n", error.c_str());
    return 1;
}

// verify [--strict] SETUP.exe: each error and warning on stderr; "OK" and
// what was checked on stdout when there is no error (and, with --strict, no
// warning either), else status 1. The line starts with "OK" for scripts that
// look for it.
static int runVerify(const char *path, bool strict)
{
    Clock::time_point start = Clock::now();
    std::vector<Finding> findings;
    Totals totals;
    bool ok = verifyInstaller(path, findings, &totals);
    printFindings(findings);
    if (!ok || (strict && !findings.empty()))
        return 1;
    std::string warnings = findings.empty() ? ""
                           : findings.size() == 1 ? " (1 warning)"
                                                  : " (" + std::to_string(findings.size()) + " warnings)";
    printf("OK: %s%s\n", summary(totals, "files", "bytes unpacked", start).c_str(), warnings.c_str());
    return 0;
}

// plan SETUP.exe: the plan on stdout; verify's findings on stderr, and no
// plan and status 1 when one is an error.
static int runPlan(const char *path)
{
    std::vector<Finding> findings;
    std::string plan;
    bool ok = planInstaller(path, plan, findings);
    printFindings(findings);
    fflush(stderr);
    fputs(plan.c_str(), stdout);
    return ok ? 0 : 1;
}

// extract SETUP.exe DIR: each entry not written is reported; then 1.
static int runExtract(const char *path, const char *dir)
{
    Clock::time_point start = Clock::now();
    std::vector<std::string> problems;
    Totals totals;
    bool ok = extractInstaller(path, dir, problems, &totals);
    printProblems(problems);
    if (ok)
        printf("quillpack: extracted to %s: %s\n", dir, summary(totals, "entries", "bytes", start).c_str());
    return ok ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return usageError("no command");
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        fputs(usage().c_str(), stdout);
        return 0;
    }
    if (command == "build")
        return runBuild(argc, argv);
    if (command == "list" && argc == 3)
        return runList(argv[2]);
    if (command == "init")
        return runInit(argc, argv);
    if (command == "verify" && argc == 3)
        return runVerify(argv[2], false);
    if (command == "verify" && argc == 4 && strcmp(argv[2], "--strict") == 0)
        return runVerify(argv[3], true);
    if (command == "plan" && argc == 3)
        return runPlan(argv[2]);
    if (command == "extract" && argc == 4)
        return runExtract(argv[2], argv[3]);
    return usageError(("cannot run '" + command + "' with these arguments").c_str());
}
