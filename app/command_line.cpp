// The command line: split in place into tokens, then read for the options.
#include "app/startup.h"

#include <string.h>

#include "base/text.h"
#include "script/install_settings.h"

StartupState startup;

// No escapes: a token in double quotes ends at the next quote (or a tab),
// any other at the next blank (or a tab). A closing quote ends the token even
// without a blank after it.
void SplitCommandLine()
{
    SplitCommandLineText(GetCommandLineA());
}

void SplitCommandLineText(char *p)
{
    startup.argCount = 0;
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
        if (startup.argCount < ARG_SLOTS)
            startup.argTable[startup.argCount++] = p;
        while (*p && *p != end && *p != '\t')
            p++;
        if (!*p)
            return;
        *p++ = '\0';
    }
}

void ParseOptions()
{
    startup.runMode = RUN_INSTALL;
    for (int32_t i = 1; i < startup.argCount; i++) {
        if (equalsIgnoreAsciiCase(startup.argTable[i], UNINSTALL_OPTION)) {
            startup.runMode = RUN_UNINSTALL;
        } else if (equalsIgnoreAsciiCase(startup.argTable[i], CLEANUP_OPTION)) {
            startup.runMode = RUN_CLEANUP;
            settings.destinationDir[0] = '\0';
            if (i + 1 < startup.argCount && !copyText(settings.destinationDir, sizeof settings.destinationDir, startup.argTable[i + 1]))
                settings.destinationDir[0] = '\0';   // a path that does not fit is no path
            i++;
        }
    }
}
