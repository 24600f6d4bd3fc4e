// Damage to an installer that quillpack built: every truncation of its
// directory and trailer, and every single-field change of every directory
// record. Each must end in an error (status 1, after its message) or in an
// installation byte for byte like the intact one's, never in a different
// file reported as success. Each damaged installer runs in a process of its
// own, since extraction errors end the process.
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "flows/flow_test.h"

namespace {

namespace fs = std::filesystem;

const char SCRIPT[] = "DIR=C:\\Addon\r\nPRODUCT= \"Addon\"\r\nINSTALL_KEY=Addon\r\nDIR 'Maps'\r\n"
                      "COPY 'Maps\\a.map' 'Maps\\a.map' 3000\r\nCOPY 'notes.txt' 'notes.txt' 12\r\n";

class DamageSweepTest : public FlowTest {
protected:
    // Installs setup.exe in a child process, the user pressing OK twice;
    // its exit status, or -1 when it did not exit normally.
    int install()
    {
        fs::remove_all("C:/Addon");
        pid_t child = fork();
        if (child == 0) {
            restartInstaller();
            freopen("/dev/null", "w", stderr);     // the boxes the stand-in writes there
            _exit(runAccepting());
        }
        int status;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Every file below C:\Addon with its bytes.
    std::map<std::string, Bytes> installed()
    {
        std::map<std::string, Bytes> files;
        for (const auto &item : fs::recursive_directory_iterator("C:/Addon"))
            if (item.is_regular_file())
                files[item.path().string()] = readFile(item.path().string());
        return files;
    }
};

TEST_F(DamageSweepTest, EveryCutAndFieldChangeFailsOrInstallsTheSameBytes)
{
    fs::create_directories("addon/Maps");
    fs::create_directories("C:");
    writeFile("addon/quillfen.ini", bytesOf(SCRIPT));
    writeFile("addon/Umowa.txt", bytesOf("Umowa"));
    writeFile("addon/Maps/a.map", bytesOf(std::string(3000, 'm')));
    writeFile("addon/notes.txt", bytesOf("twelve bytes"));
    writeFile("stub.exe", stubImage());
    ASSERT_EQ(system(QUILLPACK " build --stub stub.exe addon -o intact.exe >/dev/null 2>&1"), 0);

    const Bytes intact = readFile("intact.exe");
    writeFile("setup.exe", intact);
    ASSERT_EQ(install(), 0);
    const std::map<std::string, Bytes> expected = installed();
    ASSERT_EQ(expected.size(), 4u);        // the uninstaller copy, its script, two files

    std::vector<std::pair<std::string, Bytes>> damaged;
    uint32_t directory = wordAt(intact, intact.size() - 4);
    for (size_t length = directory; length < intact.size(); length++)
        damaged.push_back({"cut to " + std::to_string(length), Bytes(intact.begin(), intact.begin() + length)});
    auto changeWord = [&](const std::string &what, size_t at) {
        for (uint32_t change : {1u, 0xFFFFFFFFu, 18u, 0x80000000u}) {
            Bytes copy = intact;
            uint32_t value = wordAt(copy, at) + change;
            memcpy(&copy[at], &value, 4);     // the host is little-endian too
            damaged.push_back({what + " + " + std::to_string(change), copy});
        }
    };
    changeWord("count", directory);
    changeWord("directory offset", intact.size() - 4);
    size_t record = directory + 4;
    for (uint32_t n = 0; n < wordAt(intact, directory); n++) {
        std::string name(reinterpret_cast<const char *>(&intact[record + 16]));
        for (const char *field : {"offset", "size", "raw length", "name length"})
            changeWord(name + " " + field, record), record += 4;
        Bytes renamed = intact;
        renamed[record] ^= 0x20;           // the first letter in the other case
        damaged.push_back({name + " renamed in case", renamed});
        renamed[record] ^= 0x21;
        damaged.push_back({name + " renamed", renamed});
        record += name.size() + 1;
    }
    for (const auto &d : damaged) {
        writeFile("setup.exe", d.second);
        int status = install();
        ASSERT_TRUE(status == 0 || status == 1) << d.first << ": status " << status;
        if (status == 0) {
            EXPECT_EQ(installed(), expected) << d.first << ": reported success";
        }
    }
}

}  // namespace
