// quillpack's command line. Exit status: 0 success, 1 failure, 2 bad usage.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/quillpack/quillpack.h"

static const char USAGE[] =
    "usage:\n"
    "  quillpack build --stub quillfen.exe ADDON_DIR -o SETUP.exe\n"
    "      pack ADDON_DIR (quillfen.ini, Umowa.txt, the files its COPY lines name)\n"
    "      behind the installer stub into SETUP.exe\n"
    "  quillpack list SETUP.exe        show the entries of an installer\n"
    "  quillpack verify SETUP.exe      check every entry the install script needs\n"
    "  quillpack extract SETUP.exe DIR write every entry's stored bytes below DIR\n"
    "  quillpack --help                this text\n";

// Reports a command line that cannot be run, with the usage text; status 2.
static int usageError(const char *problem)
{
    fprintf(stderr, "quillpack: %s\n%s", problem, USAGE);
    return 2;
}

// One line per problem on the standard error stream.
static void printProblems(const std::vector<std::string> &problems)
{
    for (const std::string &p : problems)
        fprintf(stderr, "%s\n", p.c_str());
}

// build --stub STUB ADDON_DIR -o OUTPUT, options in any order.
static int runBuild(int argc, char **argv)
{
    BuildOptions options;
    for (int i = 2; i < argc; i++) {
        if (strcmp(argv[i], "--stub") == 0 && i + 1 < argc)
            options.stubPath = argv[++i];
        else if (strcmp(argv[i], "-o") == 0 && i + 1 < argc)
            options.outputPath = argv[++i];
        else if (argv[i][0] != '-' && options.addonDir.empty())
            options.addonDir = argv[i];
        else
            return usageError((std::string("unexpected argument '") + argv[i] + "'").c_str());
    }
    if (options.stubPath.empty() || options.addonDir.empty() || options.outputPath.empty())
        return usageError("build needs --stub, an add-on folder and -o");
    std::string error;
    if (!buildInstaller(options, error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
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

// verify SETUP.exe: "OK" on stdout, or each problem on stderr and 1.
static int runVerify(const char *path)
{
    std::vector<std::string> problems;
    if (verifyInstaller(path, problems)) {
        printf("OK\n");
        return 0;
    }
    printProblems(problems);
    return 1;
}

// extract SETUP.exe DIR: each entry not written is reported; then 1.
static int runExtract(const char *path, const char *dir)
{
    std::vector<std::string> problems;
    bool ok = extractInstaller(path, dir, problems);
    printProblems(problems);
    return ok ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return usageError("no command");
    std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        fputs(USAGE, stdout);
        return 0;
    }
    if (command == "build")
        return runBuild(argc, argv);
    if (command == "list" && argc == 3)
        return runList(argv[2]);
    if (command == "verify" && argc == 3)
        return runVerify(argv[2]);
    if (command == "extract" && argc == 4)
        return runExtract(argv[2], argv[3]);
    return usageError(("cannot run '" + command + "' with these arguments").c_str());
}
