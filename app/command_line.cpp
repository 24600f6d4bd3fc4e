// The command line: split in place into tokens, then read for the options.
#include "app/startup.h"

#include <string.h>

#include "package/text.h"
#include "script/install_settings.h"

char *argTable[ARG_SLOTS];
int32_t argCount;
uint32_t runMode;

// No escapes: a token in double quotes ends at the next quote (or a tab),
// any other at the next blank (or a tab). A closing quote ends the token even
// without a blank after it.
void SplitCommandLine()
{
    SplitCommandLineText(GetCommandLineA());
}

void SplitCommandLineText(char *p)
{
    argCount = 0;
    while (*p) {
        while (*p == ' ' || *p == '\t')
            p++;
        if (!*p)
            return;
        char end = ' ';
        if (*p == '"') {
            end = '"';
            p++;
        }
        if (argCount < ARG_SLOTS)
            argTable[argCount++] = p;
        while (*p && *p != end && *p != '\t')
            p++;
        if (!*p)
            return;
        *p++ = '\0';
    }
}

void ParseOptions()
{
    runMode = RUN_INSTALL;
    for (int32_t i = 1; i < argCount; i++) {
        if (equalsIgnoreAsciiCase(argTable[i], "-uninstall")) {
            runMode = RUN_UNINSTALL;
        } else if (equalsIgnoreAsciiCase(argTable[i], "-uninstallpath")) {
            runMode = RUN_CLEANUP;
            settings.destinationDir[0] = '\0';
            if (i + 1 < argCount && !copyText(settings.destinationDir, sizeof settings.destinationDir, argTable[i + 1]))
                settings.destinationDir[0] = '\0';   // a path that does not fit is no path
            i++;
        }
    }
}
