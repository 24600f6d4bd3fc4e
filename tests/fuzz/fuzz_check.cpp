#include "fuzz/fuzz_check.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>

#include "base/names.h"
#include "package/package.h"
#include "script/install_settings.h"

// Taken before main, so before libFuzzer's -close_fd_mask can close it.
static FILE *const startupError = fdopen(dup(2), "w");

void fuzzCheckFailed(const char *file, int line, const char *what, const char *condition)
{
    FILE *out = startupError ? startupError : stderr;
    fprintf(out, "%s:%d: %s (%s)\n", file, line, what, condition);
    fflush(out);
    abort();
}

static std::string scratchFolder;

static void removeScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(scratchFolder, ignored);
}

std::string scratchPath(const char *fileName)
{
    if (scratchFolder.empty()) {
        const char *base = getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/quillfen-fuzz-XXXXXX";
        FUZZ_CHECK(mkdtemp(&pattern[0]) != 0, "cannot make a scratch folder");
        scratchFolder = pattern;
        atexit(removeScratchFolder);
    }
    return scratchFolder + "/" + fileName;
}

static const std::string &installerPath()
{
    static const std::string path = scratchPath("installer.exe");
    return path;
}

void openScriptPackage(const uint8_t *script, size_t length, const std::vector<TestEntry> &entries)
{
    std::vector<TestEntry> all = {{SCRIPT_NAME, Bytes(script, script + length)}};
    all.insert(all.end(), entries.begin(), entries.end());
    writeFile(installerPath(), buildPackage(bytesOf("MZ"), all));
    openPackage(installerPath().c_str());
    FUZZ_CHECK(openPackageCount == 1, "a well-formed installer did not load");
}

void closeScriptPackage()
{
    FUZZ_CHECK(closePackage(installerPath().c_str()) == 0 && openPackageCount == 0, "closing the installer");
}

void readSettingsFrom(const char *name)
{
    memset(&settings, 0, sizeof settings);
    settings.scriptFile = pfOpen(name, "rt");
    FUZZ_CHECK(settings.scriptFile != 0, "the script cannot be opened");
    FUZZ_CHECK(ReadSettings() == 1, "the settings pass failed");
    pfClose(settings.scriptFile);
    settings.scriptFile = 0;
}

static bool endsInside(const char *text, size_t size)
{
    return memchr(text, '\0', size) != 0;
}

void checkSettings()
{
    const InstallSettings &s = settings;
    bool ended = endsInside(s.destinationDir, PATH_SIZE) && endsInside(s.groupName, PATH_SIZE) &&
                 endsInside(s.productName, PATH_SIZE) && endsInside(s.installKey, sizeof s.installKey) &&
                 endsInside(s.installValue, sizeof s.installValue);
    for (const ShortcutRecord &l : s.shortcuts)
        for (const char *field : {l.targetDir, l.targetName, l.arguments, l.workingDir, l.description,
                                  l.linkName, l.linkFolder, l.iconPath})
            ended = ended && endsInside(field, PATH_SIZE);
    FUZZ_CHECK(ended, "a text field of the settings runs past its buffer");
    FUZZ_CHECK(s.shortcutCount >= 0 && s.shortcutCount <= SHORTCUT_SLOTS, "more links than slots");
    FUZZ_CHECK(s.longestPath < PATH_SIZE, "a measured path is longer than a path buffer");
}

std::vector<TestEntry> samplePayload(std::string *script)
{
    static const struct {
        const char *name;
        uint32_t size;
    } files[] = {
        {"Docs\\Readme.txt.gz", 903}, {"Data\\heights.csv.gz", 130}, {"Maps\\vale_north.map.gz", 4106},
        {"Maps\\vale_south.map.gz", 3850}, {"Maps\\Arctic\\floe.map.gz", 2314},
        {"Maps\\Arctic\\glacier.map.gz", 204298}, {"Textures\\ice.bmp.gz", 3126},
        {"plain.gz", 40}, {"damaged.gz", 100},
    };
    std::vector<TestEntry> entries;
    for (size_t i = 0; i < sizeof files / sizeof files[0]; i++) {
        std::string name = files[i].name;
        Bytes content(files[i].size, (unsigned char)('a' + i));
        Bytes stored = name == "plain.gz" ? content : gzipMember(content);
        if (name == "damaged.gz")
            stored[stored.size() - 8] ^= 0x01;
        entries.push_back({name, stored});
        if (script)
            *script += "COPY '" + name + "' 'file" + std::to_string(i) + "' " + std::to_string(files[i].size) + "\n";
    }
    return entries;
}
