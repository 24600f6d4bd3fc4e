// fake_redist: a stand-in program for the end-to-end tests, packed as the
// runtime redistributable "vcredist.exe" or as a game a link starts. It
// records how it was started into "<own name>-record.txt" beside itself
// ("vcredist-record.txt" for vcredist.exe) and ends with status 0, showing
// no window. The record, one labelled line each, tab-separated:
//   command-line       GetCommandLineA
//   current-directory  GetCurrentDirectoryA
//   mark               the environment variable QUILLFEN_E2E_MARK, empty when unset
// A Windows GUI program, so that starting it opens no console.
#include <windows.h>

#include <stdio.h>
#include <string.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char record[MAX_PATH + 16], partial[MAX_PATH + 32], directory[MAX_PATH] = "", mark[512] = "";
    DWORD length = GetModuleFileNameA(0, record, MAX_PATH);
    char *extension = strrchr(record, '.');
    if (length == 0 || length >= MAX_PATH || !extension)
        return 1;
    strcpy(extension, "-record.txt");
    GetCurrentDirectoryA(sizeof directory, directory);
    GetEnvironmentVariableA("QUILLFEN_E2E_MARK", mark, sizeof mark);

    // Written under another name first and then renamed, so that a reader
    // never sees half a record.
    snprintf(partial, sizeof partial, "%s.part", record);
    FILE *out = fopen(partial, "wb");
    if (!out)
        return 1;
    fprintf(out, "command-line\t%s\ncurrent-directory\t%s\nmark\t%s\n", GetCommandLineA(), directory, mark);
    return fclose(out) == 0 && MoveFileExA(partial, record, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
