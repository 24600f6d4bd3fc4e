// Test-side view of the Win32 stand-in: what the system showed and wrote,
// the answers it gets, and faults to inject. Tests call hostReset() first.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

struct HostMessageBox {
    std::string text;
    std::string caption;
    unsigned flags;
};

// One control of a dialog, with everything the system did to it.
struct HostControl {
    int id;
    std::string text;
    std::vector<std::string> textHistory;   // every text set, in order
    std::vector<int> positions;             // progress positions set
    int rangeLow = 0, rangeHigh = 0;        // progress range
};

// One dialog shown by DialogBoxParamA.
struct HostDialog {
    int templateId;
    std::vector<HostControl> controls;
    bool ended = false;          // EndDialog was called
    intptr_t result = 0;         // its result
    bool broughtToTop = false;
    int focus = 0;               // control ID that got the focus last
    HostControl *control(int id);
};

// A user's action in the dialog that is open: press a button, or type a
// text into a field (which sends no command of its own).
struct HostAction {
    enum Kind { Press, Type } kind;
    int control;
    std::string text;
};

struct HostRegistryValue {
    unsigned type;
    std::string data;            // raw bytes, a string's NUL included
};

// A link file saved through the shell link object.
struct HostLink {
    std::string target, arguments, workingDir, description, iconPath;
    int iconIndex = -1;
};

// Version information of a library: ProductVersion per translation
// (language << 16 | code page); an empty string stands for one that cannot
// be read. translationBytes < 0 means 4 per translation.
struct HostVersionInfo {
    std::vector<std::pair<unsigned, std::string>> productVersions;
    int translationBytes = -1;
};

// A process started with CreateProcessA.
struct HostProcess {
    std::string application, commandLine, currentDirectory;
    bool inheritHandles;
};

struct HostFault {
    int nth = 0;                 // fail the nth call (1-based); 0: never
    bool always = false;         // fail every call from the nth on
};

struct HostState {
    std::vector<HostMessageBox> messageBoxes;    // every box shown, in order
    std::deque<int> messageBoxAnswers;           // next answers; IDOK when empty
    std::string debugOutput;                     // all OutputDebugStringA text
    std::vector<HostDialog> dialogs;             // every dialog shown
    std::deque<HostAction> actions;              // the user's next actions
    std::deque<std::string> browseAnswers;       // folder browser: a path, "" cancels
    int browseFlags = -1;                        // ulFlags of the last browse
    std::map<std::string, std::map<std::string, HostRegistryValue>> registry;  // HKLM, lower case
    std::map<int, std::string> specialFolders;   // CSIDL -> path
    std::string modulePath;                      // GetModuleFileNameA
    std::string commandLine;                     // GetCommandLineA, writable
    unsigned sleptMilliseconds = 0;
    std::map<std::string, HostLink> links;       // by link file path as given
    std::map<std::string, HostVersionInfo> versionInfo;  // by bare file name, lower case
    std::vector<HostProcess> processes;          // every process started
    std::string windowsDirectory = "C:\\windows";  // GetWindowsDirectoryA
    std::map<std::string, std::string> shortPaths;  // GetShortPathNameA: long -> short
    std::deque<unsigned> waitResults;            // WaitForSingleObject; WAIT_OBJECT_0 when empty
    std::map<std::string, HostFault> faults;     // by Win32 function name
    std::map<std::string, int> calls;            // calls made, by function name
    std::vector<std::string> events;             // what the system did, in order
};

extern HostState host;

void hostReset();
// Counts a call of function and tells whether the test made it fail.
bool hostFails(const char *function);
// Registry helpers for tests (HKLM key paths, any case).
void hostSetRegistryString(const std::string &key, const std::string &name, const std::string &value);
bool hostRegistryString(const std::string &key, const std::string &name, std::string *value);
