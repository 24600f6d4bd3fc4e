// The program's entry point.
#include "app/startup.h"

#include <string.h>

#include "package/package.h"

HINSTANCE hInstance;
char modulePath[MAX_PATH];
char *moduleFileName = modulePath;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    hInstance = instance;
    GetModuleFileNameA(0, modulePath, sizeof modulePath);
    char *lastBackslash = strrchr(modulePath, '\\');
    moduleFileName = lastBackslash ? lastBackslash + 1 : modulePath;

    openPackage(modulePath);
    closePackage(modulePath);
    return 0;
}
