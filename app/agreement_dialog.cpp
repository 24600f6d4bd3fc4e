// The agreement dialog: the agreement text in a read-only field, OK or
// Cancel.
#include "app/dialogs.h"

#include <stdlib.h>

#include "base/resource.h"
#include "base/names.h"
#include "package/package.h"

char *LoadAgreementText()
{
    PackageFile file = pfOpen(AGREEMENT_NAME, "rb");
    if (!file)
        return 0;
    pfSeek(file, 0, 2);
    int32_t size = pfTell(file);
    pfSeek(file, 0, 0);
    char *text = size >= 0 ? (char *)malloc((size_t)size + 1) : 0;
    // A text that cannot be read whole is shown as far as it was read.
    size_t got = text && size > 0 ? pfRead(text, 1, (size_t)size, file) : 0;
    pfClose(file);
    if (text)
        text[got] = '\0';
    return text;
}

int AgreementCommandResult(WPARAM command)
{
    if (command == IDOK)
        return 1;
    if (command == IDCANCEL)
        return 0;
    return -1;
}

INT_PTR CALLBACK AgreementDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        char *text = LoadAgreementText();
        if (!text) {
            EndDialog(dialog, 1);
            return TRUE;
        }
        SetDlgItemTextA(dialog, IDC_AGREEMENT_TEXT, text);
        free(text);
        SetFocus(GetDlgItem(dialog, IDC_AGREEMENT_TEXT));
        return TRUE;
    }
    if (message == WM_COMMAND) {
        int result = AgreementCommandResult(wParam);
        if (result >= 0)
            EndDialog(dialog, result);
        return TRUE;
    }
    return FALSE;
}

bool ShowAgreementDialog()
{
    return RunDialog(IDD_AGREEMENT, AgreementDialogProc);
}
