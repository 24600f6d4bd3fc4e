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
    char record[MAX_PATH], directory[MAX_PATH] = "", mark[512] = "";
    DWORD length = GetModuleFileNameA(0, record, sizeof record);
    char *extension = strrchr(record, '.');
    if (length == 0 || length >= sizeof record || !extension || strchr(extension, '\\'))
        return 1;
    *extension = '\0';
    if (strlen(record) + sizeof "-record.txt.part" > sizeof record)
        return 1;
    strcat(record, "-record.txt");
    GetCurrentDirectoryA(sizeof directory, directory);
    GetEnvironmentVariableA("QUILLFEN_E2E_MARK", mark, sizeof mark);

    // Written under another name first and then renamed, so that a reader
    // never sees half a record.
    char partial[MAX_PATH];
    snprintf(partial, sizeof partial, "%s.part", record);
    FILE *out = fopen(partial, "wb");
    if (!out)
        return 1;
    fprintf(out, "command-line\t%s\ncurrent-directory\t%s\nmark\t%s\n", GetCommandLineA(), directory, mark);
    if (fclose(out) != 0 || !MoveFileExA(partial, record, MOVEFILE_REPLACE_EXISTING))
        return 1;
    return 0;
}
