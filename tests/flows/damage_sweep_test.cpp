// Damage to an installer that quillpack built: every truncation of its
// directory and trailer, and every byte of them with its lowest or highest
// bit flipped. Each must end in an error (status 1, after its message) or in
// an installation byte for byte like the intact one's, never in a different
// file reported as success. Each runs in a process of its own, since
// extraction errors end the process.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "base/bytes.h"
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

TEST_F(DamageSweepTest, EveryCutAndBitFlipFailsOrInstallsTheSameBytes)
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

    auto check = [&](const std::string &what, const Bytes &installer) {
        writeFile("setup.exe", installer);
        int status = install();
        ASSERT_TRUE(status == 0 || status == 1) << what << ": status " << status;
        if (status == 0) {
            EXPECT_EQ(installed(), expected) << what << ": reported success";
        }
    };
    for (size_t at = littleEndian32(&intact[intact.size() - 4]); at < intact.size(); at++) {
        check("cut to " + std::to_string(at), Bytes(intact.begin(), intact.begin() + at));
        for (unsigned char bit : {0x01, 0x80}) {
            Bytes changed = intact;
            changed[at] ^= bit;
            check("byte " + std::to_string(at) + " ^ " + std::to_string(bit), changed);
        }
    }
}

}  // namespace
