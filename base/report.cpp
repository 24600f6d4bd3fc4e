#include "base/report.h"

#include <windows.h>

#include "base/messages.h"

void showError(const char *text)
{
    MessageBoxA(0, text, messageTable[MSG_ERROR], MB_OK);
}
