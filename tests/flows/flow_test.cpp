#include "flows/flow_test.h"

#include <string.h>

#include <filesystem>

#include "script/install_settings.h"

void FlowTest::SetUp()
{
    TempDirTest::SetUp();
    std::filesystem::create_directory("Programs");
    std::filesystem::create_directory("Desktop");
    restartInstaller();
}

void FlowTest::restart(const std::string &module, const std::string &commandLine)
{
    hostReset();
    memset(&settings, 0, sizeof settings);
    host.modulePath = module;
    host.commandLine = commandLine;
    host.windowsDirectory = dir + "\\windows";
    host.specialFolders[CSIDL_PROGRAMS] = dir + "\\Programs";
    host.specialFolders[CSIDL_DESKTOPDIRECTORY] = dir + "\\Desktop";
}

std::vector<std::string> FlowTest::boxes()
{
    std::vector<std::string> texts;
    for (const HostMessageBox &box : host.messageBoxes)
        texts.push_back(box.text);
    return texts;
}

std::vector<std::string> FlowTest::eventsStarting(const std::string &prefix)
{
    std::vector<std::string> out;
    for (const std::string &e : host.events)
        if (e.compare(0, prefix.size(), prefix) == 0)
            out.push_back(e.substr(prefix.size()));
    return out;
}

size_t FlowTest::eventIndex(const std::string &prefix)
{
    for (size_t i = 0; i < host.events.size(); i++)
        if (host.events[i].compare(0, prefix.size(), prefix) == 0)
            return i;
    return std::string::npos;
}
