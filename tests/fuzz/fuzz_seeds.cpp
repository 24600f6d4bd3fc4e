// Writes the seed corpus of one fuzz target into a folder:
//   fuzz_seeds TARGET FOLDER
// The seeds are small, well-formed or nearly so, and reach the interesting
// paths at once: every gzip header flag, concatenated members, trailing
// data, CR LF text, raw-length entries, names that normalisation rewrites,
// the sample add-on's script and scripts that bend its rules, command lines
// of every run mode.
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"

namespace {

struct Seed {
    const char *name;
    Bytes data;
};

Bytes concat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Text with a vocabulary small enough to compress well.
Bytes someText(size_t length, uint32_t seed)
{
    static const char *words[] = {"track", "map", "tundra", "vale", "quill", "fen", "data",
                                  "sound", "the", "of", "and", "texture", "mission"};
    std::string text;
    while (text.size() < length) {
        seed = seed * 1103515245 + 12345;
        text += words[(seed >> 16) % 13];
        text += (seed >> 8) % 9 == 0 ? "\r\n" : " ";
    }
    text.resize(length);
    return bytesOf(text);
}

Bytes someNoise(size_t length, uint32_t seed)
{
    Bytes out(length);
    for (unsigned char &b : out) {
        seed = seed * 1103515245 + 12345;
        b = (unsigned char)(seed >> 16);
    }
    return out;
}

// A member with FTEXT, FHCRC, FEXTRA, FNAME and FCOMMENT set. The header CRC
// is right, so that zlib's own decoder accepts the member as well.
Bytes memberWithAllFlags(const Bytes &content)
{
    Bytes plain = gzipMember(content);
    Bytes header = hexBytes("1f 8b 08 1f 00 00 00 00 00 03  04 00 41 42 01 02");
    header = concat(header, concat(bytesOf("name.txt"), hexBytes("00")));
    header = concat(header, concat(bytesOf("comment"), hexBytes("00")));
    uint32_t crc = (uint32_t)crc32(0, header.data(), (uInt)header.size());
    header.push_back((unsigned char)crc);
    header.push_back((unsigned char)(crc >> 8));
    return concat(header, Bytes(plain.begin() + 10, plain.end()));
}

std::vector<Seed> gzReaderSeeds()
{
    Bytes text = someText(3000, 1);
    Bytes member = gzipMember(text);
    Bytes badCrc = member;
    badCrc[badCrc.size() - 8] ^= 0x01;
    Bytes reserved = member;
    reserved[3] = 0x20;
    return {
        {"member", member},
        {"member-all-flags", memberWithAllFlags(text)},
        {"two-members", concat(member, gzipMember(bytesOf("second member\n")))},
        {"member-then-plain", concat(member, bytesOf("plain tail"))},
        {"member-then-lone-1f", concat(member, hexBytes("1f"))},
        {"plain", bytesOf("not gzip at all\r\n")},
        {"empty", Bytes()},
        {"bad-crc", badCrc},
        {"reserved-flag", reserved},
        {"cut-in-deflate", Bytes(member.begin(), member.begin() + (long)member.size() / 2)},
        {"cut-in-length", Bytes(member.begin(), member.end() - 2)},
        {"empty-member", gzipMember(Bytes())},
        // Stored blocks over more than one 16 KiB input block.
        {"member-incompressible", gzipMember(someNoise(40000, 2))},
        // Long output from a short input: many output blocks per input block.
        {"member-long-output", gzipMember(someText(200000, 3))},
    };
}

Bytes image()
{
    return concat(bytesOf("MZ"), someNoise(62, 4));
}

std::vector<Seed> packageDirectorySeeds()
{
    Bytes script = bytesOf("[Install]\r\nDIR 'Data'\r\nCOPY 'Pack\\Data\\track.map.gz' "
                           "'Data\\track.map' 3000\r\nlast line without newline");
    Bytes installer = buildPackage(image(), {
        {"quillfen.ini", script},
        {"umowa.txt", bytesOf("Agreement\r\n\r\nline\rwith lone CR\n\x1a after Ctrl-Z")},
        {"Pack\\Data\\track.map.gz", gzipMember(someText(3000, 5))},
        {"raw.bin", bytesOf("whole reads only"), 16},
        {"empty.txt", Bytes()},
        {"a/b.txt", bytesOf("a stored name with a slash is never found")},
        {"Dup.TXT", bytesOf("first")},
        {"dup.txt", bytesOf("second, never found")},
        {"ends-in-cr.txt", bytesOf("CR LF across the entry's end\r")},
        {"follows.txt", bytesOf("\nthe LF of the pair above")},
    });
    return {
        {"installer", installer},
        {"no-entries-but-image", buildPackage(image(), {})},
        {"count-zero", hexBytes("00 00 00 00  00 00 00 00")},
        {"directory-cut", Bytes(installer.begin(), installer.end() - 9)},
    };
}

std::vector<Seed> entryNameSeeds()
{
    const char *names[] = {
        "Pack\\Data\\track.map.gz", "dir\\sub\\..\\file", "sub\\..\\file", "..\\..\\file",
        "x..\\y", "a/b/../c", "name..", "\\..\\", "....\\\\", "a\\b\\c\\..\\..\\..\\d",
        "ab\\..\\", "a\\..\\b\\..\\..\\c/./d",
    };
    std::vector<Seed> seeds;
    for (size_t i = 0; i < sizeof names / sizeof names[0]; i++)
        seeds.push_back({names[i], bytesOf(names[i])});
    return seeds;
}

// For the settings pass, the copy pass and the uninstaller's readings: the
// sample add-on's script as it ships, one naming every payload entry with its
// size, and scripts at the edges of the line rules.
std::vector<Seed> scriptSeeds()
{
    static const char oddBytes[] = "PRODUCT= \"P\"\x1a\nGROUP= \"after Ctrl-Z\"\r\n\0DIR 'nul line'\nDIR 'a'\rDIR 'b'\r\r\nDIR 'last'";
    std::string payload, links, longValue(1030, 'v');
    samplePayload(&payload);
    for (int i = 0; i < 17; i++)
        links += (i % 2 ? "DESK= \"" : "LINK= \"") + std::to_string(i) + ".exe\" \"Link " + std::to_string(i) + "\" \"-x\"\r\n";
    return {
        {"sample add-on", readFile(SAMPLE_SCRIPT)},
        {"every payload entry", bytesOf("DIR 'Files'\n" + payload)},
        {"seventeen links", bytesOf("GROUP= \"Tundra\"\r\nPRODUCT= \"Maps\"\r\n" + links)},
        {"Ctrl-Z, NUL, lone CR, no final newline",
         bytesOf(std::string(oddBytes, sizeof oddBytes - 1))},
        {"lines over 1023 characters and values over their fields",
         bytesOf("GROUP= \"" + longValue + "\"\nDIR=" + longValue.substr(0, 300) + "\nCOPY '" +
                 longValue.substr(0, 300) + "' 'x' 1\n")},
        {"paths that leave the destination",
         bytesOf("DIR '..'\nCOPY 'plain.gz' '..\\x' 40\nCOPY 'plain.gz' 'C:\\x' 40\nCOPY 'plain.gz' 'con.txt' 40\n"
                 "COPY 'plain.gz' 'QUILLFEN.INI' 40\nDIR 'a.'\nLINK= \"x\" \"..\\up\"\n")},
        {"malformed lines", bytesOf("COPY 'plain.gz' 'x'\nCOPY 'plain.gz\nDIR 'open\nCOPY 'plain.gz' 'x' 99999999999\n")},
    };
}

std::vector<Seed> commandLineSeeds()
{
    std::string many;
    for (int i = 0; i < 130; i++)
        many += " t" + std::to_string(i);
    return {
        {"install", bytesOf("\"C:\\Users\\Player\\Downloads\\tundra-maps.exe\"")},
        {"uninstall", bytesOf("\"C:\\Program Files\\Brakmoor\\Tundra Vale\\quillfen.exe\" -uninstall")},
        {"clean-up", bytesOf("C:\\Users\\Player\\AppData\\Local\\Temp\\quillfen.exe -uninstallpath C:\\PROGRA~1\\Brakmoor")},
        {"clean-up without its folder", bytesOf("q.exe\t-UNINSTALLPATH")},
        {"clean-up folder too long", bytesOf("q.exe -uninstallpath \"" + std::string(300, 'd') + "\" -uninstall")},
        {"quotes and tabs", bytesOf("\"a b\"c \"\" \"open\tx\" \"to the end")},
        {"more tokens than slots", bytesOf("q.exe" + many + " -uninstallpath C:\\G")},
    };
}

}  // namespace

int main(int argc, char **argv)
{
    static const struct {
        const char *target;
        std::vector<Seed> (*seeds)();
    } targets[] = {
        {"fuzz_package_directory", packageDirectorySeeds}, {"fuzz_gz_reader", gzReaderSeeds},
        {"fuzz_entry_name", entryNameSeeds}, {"fuzz_settings_pass", scriptSeeds},
        {"fuzz_copy_pass", scriptSeeds}, {"fuzz_uninstall_readings", scriptSeeds},
        {"fuzz_command_line", commandLineSeeds}, {"fuzz_quillpack", packageDirectorySeeds},
    };
    std::vector<Seed> seeds;
    for (const auto &t : targets)
        if (argc == 3 && strcmp(argv[1], t.target) == 0)
            seeds = t.seeds();
    if (seeds.empty()) {
        fprintf(stderr, "usage: fuzz_seeds TARGET FOLDER, with a target named in fuzz_seeds.cpp\n");
        return 2;
    }
    for (size_t i = 0; i < seeds.size(); i++) {
        char file[32];
        snprintf(file, sizeof file, "/seed-%02zu", i);
        writeFile(std::string(argv[2]) + file, seeds[i].data);
        printf("%s: %s (%zu bytes)\n", file + 1, seeds[i].name, seeds[i].data.size());
    }
    return 0;
}
