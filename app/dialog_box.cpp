// Both dialogs run the same way: modal, from their resource template, with
// no owner window.
#include "app/dialogs.h"

#include "app/startup.h"

bool RunDialog(int templateId, DLGPROC procedure)
{
    INT_PTR result = DialogBoxParamA(startup.hInstance, MAKEINTRESOURCEA(templateId), 0, procedure, 0);
    if (result == -1)
        startup.exitStatus = 1;     // a dialog that cannot be made stops the installation
    return result == 1;
}
