// Message boxes, dialogs and debugger output of the stand-in. A box is
// recorded and also written to standard error, so a test that watches the
// process end (a death test) still sees which box came last. A dialog runs
// the system's own dialog procedure against an in-memory window with the
// template's controls, and the test's script of user actions drives it.
#include <commctrl.h>
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "host/host.h"

HostState host;

void hostReset()
{
    host = HostState();
}

bool hostFails(const char *function)
{
    int call = ++host.calls[function];
    auto fault = host.faults.find(function);
    if (fault == host.faults.end() || fault->second.nth == 0)
        return false;
    return call == fault->second.nth || (fault->second.always && call > fault->second.nth);
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT flags)
{
    host.messageBoxes.push_back({text ? text : "", caption ? caption : "", flags});
    host.events.push_back(std::string("MessageBoxA ") + (caption ? caption : ""));
    fprintf(stderr, "[MessageBoxA \"%s\" 0x%x] %s\n", caption ? caption : "", flags, text ? text : "");
    if (host.messageBoxAnswers.empty())
        return IDOK;
    int answer = host.messageBoxAnswers.front();
    host.messageBoxAnswers.pop_front();
    return answer;
}

void OutputDebugStringA(LPCSTR text)
{
    host.debugOutput += text;
}

HostControl *HostDialog::control(int id)
{
    for (HostControl &c : controls)
        if (c.id == id)
            return &c;
    return 0;
}

// The controls of the two dialog templates, with their initial texts.
static std::vector<HostControl> templateControls(int templateId)
{
    struct Item {
        int id;
        const char *text;
    };
    static const Item agreement[] = {{1, "OK"}, {2, "Cancel"}, {1001, "!"}, {1000, ""}};
    static const Item destination[] = {{1, "OK"}, {2, "Cancel"}, {1002, ""}, {-1, "Copy files to directory"},
                                       {1005, ""}, {1006, ""}, {1010, "Browse"}};
    std::vector<HostControl> controls;
    const Item *items = templateId == 101 ? agreement : destination;
    size_t count = templateId == 101 ? 4 : 7;
    for (size_t i = 0; i < count; i++) {
        HostControl c;
        c.id = items[i].id;
        c.text = items[i].text;
        controls.push_back(c);
    }
    return controls;
}

// Window handles are 1 + the index of the dialog in host.dialogs for the
// dialog, and (index + 1) << 16 | control ID for a control.
static HostDialog *dialogOf(HWND window)
{
    size_t index = ((uintptr_t)window & 0xFFFF) - 1;
    if ((uintptr_t)window >> 16)
        index = ((uintptr_t)window >> 16) - 1;
    return index < host.dialogs.size() ? &host.dialogs[index] : 0;
}

static HostControl *controlOf(HWND window)
{
    HostDialog *dialog = dialogOf(window);
    if (!dialog || !((uintptr_t)window >> 16))
        return 0;
    return dialog->control((short)((uintptr_t)window & 0xFFFF));
}

INT_PTR DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND, DLGPROC proc, LPARAM parameter)
{
    int templateId = (int)(uintptr_t)templateName;
    if (hostFails("DialogBoxParamA") || (templateId != 101 && templateId != 102))
        return -1;
    host.events.push_back("DialogBoxParamA " + std::to_string(templateId));
    HostDialog fresh;
    fresh.templateId = templateId;
    fresh.controls = templateControls(templateId);
    host.dialogs.push_back(fresh);
    size_t index = host.dialogs.size() - 1;
    HWND window = (HWND)(uintptr_t)(index + 1);
    proc(window, WM_INITDIALOG, 0, parameter);
    while (!host.dialogs[index].ended) {
        if (host.actions.empty())
            return -1;             // the test gave no further action: left open
        HostAction action = host.actions.front();
        host.actions.pop_front();
        if (action.kind == HostAction::Type) {
            if (HostControl *c = host.dialogs[index].control(action.control))
                c->text = action.text;
            continue;
        }
        proc(window, WM_COMMAND, (WPARAM)action.control, 0);
    }
    return host.dialogs[index].result;
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    HostDialog *d = dialogOf(dialog);
    if (!d)
        return FALSE;
    d->ended = true;
    d->result = result;
    return TRUE;
}

HWND GetDlgItem(HWND dialog, int id)
{
    HostDialog *d = dialogOf(dialog);
    if (!d || !d->control(id))
        return 0;
    return (HWND)(((uintptr_t)dialog << 16) | (uint16_t)id);
}

BOOL SetWindowTextA(HWND window, LPCSTR text)
{
    HostControl *c = controlOf(window);
    if (!c)
        return FALSE;
    c->text = text;
    c->textHistory.push_back(text);
    return TRUE;
}

int GetWindowTextA(HWND window, LPSTR buffer, int count)
{
    HostControl *c = controlOf(window);
    if (!c || count <= 0)
        return 0;
    size_t n = c->text.size() < (size_t)count - 1 ? c->text.size() : (size_t)count - 1;
    memcpy(buffer, c->text.data(), n);
    buffer[n] = '\0';
    return (int)n;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text)
{
    return SetWindowTextA(GetDlgItem(dialog, id), text);
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    HostControl *c = controlOf(GetDlgItem(dialog, id));
    if (!c)
        return 0;
    if (message == PBM_SETRANGE) {
        c->rangeLow = LOWORD(lParam);
        c->rangeHigh = HIWORD(lParam);
    } else if (message == PBM_SETPOS) {
        c->positions.push_back((int)wParam);
    }
    return 0;
}

BOOL BringWindowToTop(HWND window)
{
    if (HostDialog *d = dialogOf(window))
        d->broughtToTop = true;
    return TRUE;
}

HWND SetFocus(HWND window)
{
    if (HostDialog *d = dialogOf(window))
        d->focus = (short)((uintptr_t)window & 0xFFFF);
    return 0;
}

void InitCommonControls()
{
    host.calls["InitCommonControls"]++;
}
