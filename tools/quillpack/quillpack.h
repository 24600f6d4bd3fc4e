// quillpack, the add-on author's tool: writes a starting install script for
// an add-on folder, builds a self-extracting installer from the quillfen.exe
// stub and the folder, and lists, verifies, plans and extracts finished
// installers through the installer's own package layer and readings.
// main.cpp reads the command line and calls one of these.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

const uint64_t MAX_PACKAGE_BYTES = 0x7FFFFFFF;   // offsets and sizes stay below 2^31

// What a command did, for the line it prints when it succeeds.
struct Totals {
    uint32_t entries = 0;   // entries written (build, extract) or COPY lines checked (verify)
    uint64_t bytes = 0;     // bytes written, or unpacked by verify
};

// One problem found in an installer or an add-on.
struct Finding {
    std::string file;   // the script's name or path, or the installer's or add-on's path
    int line;           // 1-based line of file; 0 for the whole file
    bool warning;       // false: an error, which the installer would trip over
    std::string text;
};

// "file:LINE: error: text", or "file: warning: text" for the whole file.
std::string formatFinding(const Finding &finding);
// True when one of findings is an error.
bool hasErrors(const std::vector<Finding> &findings);

struct InitOptions {
    std::string addonDir;       // the folder to write quillfen.ini (and Umowa.txt) for
    std::string product;        // PRODUCT=; "" for the folder's name
    std::string group;          // GROUP=; "" for the product
    std::string destination;    // DIR=; "" for INIT_DESTINATION
    std::string installKey;     // INSTALL_KEY=; "" for INIT_INSTALL_KEY
    std::string installValue;   // INSTALL_VALUE=; "" for the product without blanks and "Dir"
    bool force = false;         // replace a quillfen.ini already there
};

// The defaults init shows in --help: the game's own folder, and its key
// below HKEY_LOCAL_MACHINE\SOFTWARE.
extern const char INIT_DESTINATION[];
extern const char INIT_INSTALL_KEY[];

// Writes quillfen.ini for the add-on folder: the settings from options, one
// DIR ' line per folder and one COPY ' line per file with its entry name
// and unpacked size, in an order that installs and uninstalls completely,
// and the uninstall link; and a starting Umowa.txt when there is none.
// Refuses an existing script unless options.force, and a symbolic link that
// leads out of the folder. False with error set; totals (unless null) gets
// the files and their bytes.
bool initAddon(const InitOptions &options, std::string &error, Totals *totals = 0);

struct BuildOptions {
    std::string stubPath;      // the bare quillfen.exe
    std::string addonDir;      // quillfen.ini, Umowa.txt and the payload files
    std::string outputPath;    // the installer to write
    uint64_t maxPackageBytes = MAX_PACKAGE_BYTES;   // largest installer file allowed
    unsigned threads = 0;      // compressing threads; 0: one per core
};

// Writes the installer: the stub as entry 0 "quillfen.exe", "quillfen.ini"
// and "umowa.txt" plain with CR LF line ends, one gzip entry per distinct
// entry name of the script's COPY lines (an add-on file that is itself a
// gzip member is unpacked and compressed again), then the directory and its
// offset. The bytes are the same whatever the number of threads.
// Everything is checked before the first byte is written, the script with
// verify's lint, and the file appears only when complete. Returns false with
// error set (the first error, as formatFinding gives it, or "file: reason");
// no output file is left then. findings (unless null) gets every error and
// warning. On success, totals (unless null) gets the entries and the bytes
// of the file.
bool buildInstaller(const BuildOptions &options, std::string &error, Totals *totals = 0,
                    std::vector<Finding> *findings = 0);

// Prints one line per entry of the installer at path (name, offset, stored
// size, raw length, and the unpacked size of gzip entries) under a header
// line, in aligned columns. False with error set when it cannot be loaded.
bool listInstaller(const std::string &path, FILE *out, std::string &error);

// Checks the installer at path as the installer will use it: the
// installer's own verdict on the file, the script's lint (script_lint.h),
// every COPY entry read through the gzip reader to its end with the size its
// line declares, and the agreement text. Appends every error and warning to
// findings, in line order; true when none is an error. totals (unless null)
// gets the COPY lines checked and the bytes they unpack to.
bool verifyInstaller(const std::string &path, std::vector<Finding> &findings, Totals *totals = 0);

// Puts into plan what installing the installer at path and then uninstalling
// it will do, read with the installer's own code: the proposed destination
// and the size line, the folders and files it makes, the registry value,
// the links, and what the uninstaller removes and leaves. Runs verify's
// checks first and plans nothing when they find an error. findings gets
// them; true when there is no error.
bool planInstaller(const std::string &path, std::string &plan, std::vector<Finding> &findings);

// Writes every entry's stored bytes to a file below dir ('\' in names makes
// sub-folders). Entries whose names would leave dir (absolute, a drive,
// "..", a device) are refused and reported by name, and so are entries whose
// way passes a symbolic link already in dir: nothing is written through one.
// The others are still written. True when every entry was written. totals
// (unless null) gets the entries and bytes written.
bool extractInstaller(const std::string &path, const std::string &dir,
                      std::vector<std::string> &problems, Totals *totals = 0);
