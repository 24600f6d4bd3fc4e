// Test-side view of the Win32 stand-in: what the system showed, and the
// answers it gets. Tests reset it with hostReset() before each case.
#pragma once

#include <string>
#include <vector>

struct HostMessageBox {
    std::string text;
    std::string caption;
    unsigned flags;
};

struct HostState {
    std::vector<HostMessageBox> messageBoxes;   // every box shown, in order
    std::vector<int> messageBoxAnswers;         // next answers; IDOK when empty
    std::string debugOutput;                    // all OutputDebugStringA text
};

extern HostState host;

void hostReset();
