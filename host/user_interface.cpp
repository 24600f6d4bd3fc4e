// Message boxes and debugger output of the stand-in. A box is recorded and
// also written to standard error, so a test that watches the process end
// (a death test) still sees which box came last.
#include <windows.h>

#include <stdio.h>

#include "host/host.h"

HostState host;

void hostReset()
{
    host = HostState();
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT flags)
{
    host.messageBoxes.push_back({text ? text : "", caption ? caption : "", flags});
    fprintf(stderr, "[MessageBoxA \"%s\" 0x%x] %s\n", caption ? caption : "", flags, text ? text : "");
    if (host.messageBoxAnswers.empty())
        return IDOK;
    int answer = host.messageBoxAnswers.front();
    host.messageBoxAnswers.erase(host.messageBoxAnswers.begin());
    return answer;
}

void OutputDebugStringA(LPCSTR text)
{
    host.debugOutput += text;
}
