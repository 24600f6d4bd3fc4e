// Whole runs of the program against the Win32 stand-in, each in a fresh
// folder where "Programs" and "Desktop" stand for the special folders, the
// user's actions scripted.
#pragma once

#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "host/host.h"
#include "support/package_builder.h"
#include "support/stub_image.h"
#include "support/temp_dir.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

class FlowTest : public TempDirTest {
protected:
    void SetUp() override;
    // A fresh process started as module with commandLine: the stand-in and
    // the settings as at start.
    void restart(const std::string &module, const std::string &commandLine);
    // The installer dir/setup.exe, started without options.
    void restartInstaller() { restart(dir + "/setup.exe", "setup.exe"); }
    void press(int id) { host.actions.push_back({HostAction::Press, id, ""}); }
    void type(int id, const std::string &text) { host.actions.push_back({HostAction::Type, id, text}); }
    int run() { return WinMain(0, 0, 0, 0); }
    // A run in which the user presses OK in both dialogs.
    int runAccepting()
    {
        press(IDOK);
        press(IDOK);
        return run();
    }
    // The texts of the message boxes shown, in order.
    std::vector<std::string> boxes();
    // The events that start with prefix, prefix cut off.
    std::vector<std::string> eventsStarting(const std::string &prefix);
    // Where the first event that starts with prefix is, or npos.
    size_t eventIndex(const std::string &prefix);
};
