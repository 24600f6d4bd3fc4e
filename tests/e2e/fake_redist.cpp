// fake_redist: the end-to-end tests' stand-in for the runtime redistributable
// "vcredist.exe" and for a game a link starts (a GUI program: no console). It
// records how it was started into "<own name>-record.txt" beside itself, one
// tab-separated labelled line each: command-line (GetCommandLineA),
// current-directory and mark (the variable QUILLFEN_E2E_MARK, empty when unset).
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

    // Written under another name, then renamed: a reader never sees half a record.
    snprintf(partial, sizeof partial, "%s.part", record);
    FILE *out = fopen(partial, "wb");
    if (!out)
        return 1;
    fprintf(out, "command-line\t%s\ncurrent-directory\t%s\nmark\t%s\n", GetCommandLineA(), directory, mark);
    return fclose(out) == 0 && MoveFileExA(partial, record, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
