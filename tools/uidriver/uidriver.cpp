// uidriver: drives the dialogs and message boxes of another process the way a
// person would, for the end-to-end tests. A Win32 console program; it must run
// in the same Wine prefix, on the same display and with the same code page
// (LC_ALL) as the program it drives, since texts cross in the ANSI code page.
//
//   uidriver wait CAPTION [SECONDS] [FILTER]     a dialog or box is shown
//   uidriver gone CAPTION [SECONDS] [FILTER]     no such window is left
//   uidriver closed HANDLE [SECONDS]             the window wait printed has gone
//   uidriver text CAPTION ID                     a control's text, on stdout
//   uidriver settext CAPTION ID TEXT             types TEXT into a field
//   uidriver click CAPTION ID                    presses a button
//   uidriver progress CAPTION ID                 "POS LOW HIGH" of a progress bar
//   uidriver controls CAPTION [FILTER]           every control of a dialog, one a line
//   uidriver boxes                               every dialog and box, one a line
//   uidriver caption-of-box TEXT                 the caption of the box saying TEXT
//
// CAPTION names a top-level window of the dialog class "#32770"; message
// boxes belong to it too, with their text in static 0xFFFF and buttons
// IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7. An ID is decimal or 0x-hex. Where
// several windows share a caption, the first that has the control ID asked
// for is taken. FILTER narrows wait, gone and controls: "--has ID" (the
// window has that control) or "--box" (a message box: static 0xFFFF and
// nothing but statics and buttons; a dialog's label may be 0xFFFF too).
// Every command is bounded by a timeout, never blocks on a busy program, and
// exits 0 on success, 1 otherwise (the reason on stderr).
#include <windows.h>
#include <commctrl.h>

#include <fcntl.h>
#include <io.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

const DWORD POLL_MS = 100;             // between two looks for a window
const DWORD DEFAULT_WAIT_SECONDS = 10; // wait, gone, and finding a window for the other commands
const UINT SEND_TIMEOUT_MS = 3000;     // a message to a program that does not answer fails after this

// ---- Finding windows ----

struct Filter {
    int controlId = -1;        // the window must have this child; -1 for any
    bool boxOnly = false;      // only message boxes
};

struct Search {
    const char *caption;       // the window text to match exactly; 0 matches every dialog
    Filter filter;
    std::vector<HWND> found;   // matching windows in Z order
};

static bool isDialogClass(HWND window)
{
    char className[64];
    return GetClassNameA(window, className, sizeof className) > 0 && strcmp(className, "#32770") == 0;
}

// A top-level window's own caption. GetWindowTextA asks the window for it,
// which blocks while its program is busy; InternalGetWindowText reads the
// copy kept with the window instead.
static std::string captionOf(HWND window)
{
    WCHAR wide[512];
    int length = InternalGetWindowText(window, wide, 512);
    char text[1024];
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide, length, text, sizeof text - 1, 0, 0);
    return std::string(text, bytes > 0 ? bytes : 0);
}

static BOOL CALLBACK clearIfNotStaticOrButton(HWND child, LPARAM context)
{
    char className[64];
    if (GetClassNameA(child, className, sizeof className) > 0 &&
        (lstrcmpiA(className, "Static") == 0 || lstrcmpiA(className, "Button") == 0))
        return TRUE;
    *(bool *)context = false;
    return FALSE;
}

static bool isMessageBox(HWND window)
{
    bool onlyStaticsAndButtons = true;
    EnumChildWindows(window, clearIfNotStaticOrButton, (LPARAM)&onlyStaticsAndButtons);
    return GetDlgItem(window, 0xFFFF) && onlyStaticsAndButtons;
}

static BOOL CALLBACK collect(HWND window, LPARAM context)
{
    Search *search = (Search *)context;
    if (!isDialogClass(window))
        return TRUE;
    if (search->caption && captionOf(window) != search->caption)
        return TRUE;
    if (search->filter.controlId >= 0 && !GetDlgItem(window, search->filter.controlId))
        return TRUE;
    if (search->filter.boxOnly && !isMessageBox(window))
        return TRUE;
    search->found.push_back(window);
    return TRUE;
}

static std::vector<HWND> findDialogs(const char *caption, Filter filter)
{
    Search search = {caption, filter, {}};
    EnumWindows(collect, (LPARAM)&search);
    return search.found;
}

static Filter withControl(int controlId)
{
    Filter filter;
    filter.controlId = controlId;
    return filter;
}

// The first dialog with that caption that passes the filter, waiting up to
// seconds; 0 when none came.
static HWND waitForDialog(const char *caption, Filter filter, DWORD seconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        std::vector<HWND> found = findDialogs(caption, filter);
        if (!found.empty())
            return found[0];
        if (GetTickCount() - start >= seconds * 1000)
            return 0;
        Sleep(POLL_MS);
    }
}

// The control ID inside the dialog of that caption, or 0 after a message.
static HWND findControl(const char *caption, int controlId)
{
    HWND dialog = waitForDialog(caption, withControl(controlId), DEFAULT_WAIT_SECONDS);
    if (!dialog) {
        fprintf(stderr, "uidriver: no dialog \"%s\" with control %d\n", caption, controlId);
        return 0;
    }
    return GetDlgItem(dialog, controlId);
}

// ---- Talking to controls ----

// SendMessageTimeoutA: false when the program did not answer in time.
static bool sendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR *result)
{
    DWORD_PTR ignored;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, SEND_TIMEOUT_MS,
                             result ? result : &ignored)) {
        fprintf(stderr, "uidriver: message 0x%x got no answer (error %lu)\n", message, GetLastError());
        return false;
    }
    return true;
}

// The whole text of a control through WM_GETTEXT, which works across
// processes (GetWindowTextA returns nothing for another program's EDIT).
static bool readText(HWND control, std::string &text)
{
    DWORD_PTR length;
    if (!sendBounded(control, WM_GETTEXTLENGTH, 0, 0, &length))
        return false;
    std::vector<char> buffer(length + 2);
    DWORD_PTR copied;
    if (!sendBounded(control, WM_GETTEXT, buffer.size(), (LPARAM)buffer.data(), &copied))
        return false;
    text.assign(buffer.data(), copied);
    return true;
}

// A box's text, "" for a window without static 0xFFFF.
static std::string boxText(HWND window)
{
    HWND text = GetDlgItem(window, 0xFFFF);
    std::string result;
    if (text)
        readText(text, result);
    return result;
}

// Line breaks and tabs written out, so one window takes one output line.
static std::string escaped(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out;
}

// ---- Commands ----

static int commandWait(const char *caption, DWORD seconds, Filter filter)
{
    HWND dialog = waitForDialog(caption, filter, seconds);
    if (!dialog) {
        fprintf(stderr, "uidriver: no dialog \"%s\" within %lu s\n", caption, seconds);
        return 1;
    }
    printf("%p\n", (void *)dialog);
    return 0;
}

static int commandGone(const char *caption, DWORD seconds, Filter filter)
{
    DWORD start = GetTickCount();
    while (!findDialogs(caption, filter).empty()) {
        if (GetTickCount() - start >= seconds * 1000) {
            fprintf(stderr, "uidriver: dialog \"%s\" still there after %lu s\n", caption, seconds);
            return 1;
        }
        Sleep(POLL_MS);
    }
    return 0;
}

// Two boxes with one caption may follow each other: waiting for the caption
// to go would not see the first one close.
static int commandClosed(HWND window, DWORD seconds)
{
    DWORD start = GetTickCount();
    while (IsWindow(window)) {
        if (GetTickCount() - start >= seconds * 1000) {
            fprintf(stderr, "uidriver: window %p still there after %lu s\n", (void *)window, seconds);
            return 1;
        }
        Sleep(POLL_MS);
    }
    return 0;
}

static int commandText(const char *caption, int controlId)
{
    HWND control = findControl(caption, controlId);
    std::string text;
    if (!control || !readText(control, text))
        return 1;
    fwrite(text.data(), 1, text.size(), stdout);
    putchar('\n');
    return 0;
}

static int commandSetText(const char *caption, int controlId, const char *text)
{
    HWND control = findControl(caption, controlId);
    DWORD_PTR result;
    if (!control || !sendBounded(control, WM_SETTEXT, 0, (LPARAM)text, &result))
        return 1;
    return result ? 0 : 1;
}

// BM_CLICK is posted, not sent: the program answers the click inside its own
// handler (the copy pass runs there), and the driver must not wait for it.
// The button presses itself on its own thread as a mouse click would.
static int commandClick(const char *caption, int controlId)
{
    HWND button = findControl(caption, controlId);
    if (!button)
        return 1;
    if (!IsWindowEnabled(button) || !IsWindowVisible(button)) {
        fprintf(stderr, "uidriver: button %d of \"%s\" cannot be pressed\n", controlId, caption);
        return 1;
    }
    return PostMessageA(button, BM_CLICK, 0, 0) ? 0 : 1;
}

static int commandProgress(const char *caption, int controlId)
{
    HWND bar = findControl(caption, controlId);
    DWORD_PTR position, low, high;
    if (!bar || !sendBounded(bar, PBM_GETPOS, 0, 0, &position) ||
        !sendBounded(bar, PBM_GETRANGE, TRUE, 0, &low) || !sendBounded(bar, PBM_GETRANGE, FALSE, 0, &high))
        return 1;
    printf("%d %d %d\n", (int)position, (int)low, (int)high);
    return 0;
}

static BOOL CALLBACK printControl(HWND control, LPARAM)
{
    char className[64] = "";
    GetClassNameA(control, className, sizeof className);
    std::string text;
    readText(control, text);
    DWORD_PTR icon = 0;
    if (lstrcmpiA(className, "Static") == 0)
        sendBounded(control, STM_GETICON, 0, 0, &icon);
    printf("%d\t%s\t%s\t%s%s\n", GetDlgCtrlID(control) & 0xFFFF, className,
           IsWindowVisible(control) ? "visible" : "hidden", escaped(text).c_str(), icon ? "\t(icon)" : "");
    return TRUE;
}

// One line per control: ID, class, visibility, text (escaped), and
// "(icon)" for a static that shows an icon.
static int commandControls(const char *caption, Filter filter)
{
    HWND dialog = waitForDialog(caption, filter, DEFAULT_WAIT_SECONDS);
    if (!dialog) {
        fprintf(stderr, "uidriver: no dialog \"%s\"\n", caption);
        return 1;
    }
    EnumChildWindows(dialog, printControl, 0);
    return 0;
}

// One line per dialog: handle, visibility, caption, box text (escaped).
static int commandBoxes()
{
    for (HWND window : findDialogs(0, Filter()))
        printf("%p\t%s\t%s\t%s\n", (void *)window, IsWindowVisible(window) ? "visible" : "hidden",
               escaped(captionOf(window)).c_str(), escaped(boxText(window)).c_str());
    return 0;
}

static int commandCaptionOfBox(const char *text)
{
    Filter boxes;
    boxes.boxOnly = true;
    for (HWND window : findDialogs(0, boxes)) {
        if (boxText(window) == text) {
            printf("%s\n", captionOf(window).c_str());
            return 0;
        }
    }
    fprintf(stderr, "uidriver: no box says \"%s\"\n", text);
    return 1;
}

// ---- Command line ----

static bool parseNumber(const char *text, long &value)
{
    char *end;
    value = strtol(text, &end, 0);
    return *text != '\0' && *end == '\0' && value >= 0;
}

// [SECONDS] [--has ID] [--box] from argv[first] on; false on anything else.
static bool parseWaitOptions(int argc, char **argv, int first, long &seconds, Filter &filter)
{
    for (int i = first; i < argc; i++) {
        long has;
        if (strcmp(argv[i], "--has") == 0 && i + 1 < argc && parseNumber(argv[i + 1], has)) {
            filter.controlId = (int)has;
            i++;
        } else if (strcmp(argv[i], "--box") == 0) {
            filter.boxOnly = true;
        } else if (!parseNumber(argv[i], seconds)) {
            return false;
        }
    }
    return true;
}

static int usage()
{
    fputs("usage: uidriver wait|gone CAPTION [SECONDS] [--has ID] [--box] | closed HANDLE [SECONDS] |\n"
          "       text CAPTION ID | settext CAPTION ID TEXT | click CAPTION ID | progress CAPTION ID |\n"
          "       controls CAPTION [--has ID] [--box] | boxes | caption-of-box TEXT\n",
          stderr);
    return 1;
}

int main(int argc, char **argv)
{
    // Texts go out byte for byte: no LF to CR LF on the way.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2)
        return usage();
    const char *command = argv[1];
    long id = 0, seconds = DEFAULT_WAIT_SECONDS;
    Filter filter;

    if (strcmp(command, "boxes") == 0 && argc == 2)
        return commandBoxes();
    if (strcmp(command, "caption-of-box") == 0 && argc == 3)
        return commandCaptionOfBox(argv[2]);
    if (strcmp(command, "closed") == 0 && (argc == 3 || argc == 4)) {
        char *end;
        HWND window = (HWND)(uintptr_t)strtoul(argv[2], &end, 16);
        if (*end != '\0' || (argc == 4 && !parseNumber(argv[3], seconds)))
            return usage();
        return commandClosed(window, (DWORD)seconds);
    }
    if (argc >= 3 && parseWaitOptions(argc, argv, 3, seconds, filter)) {
        if (strcmp(command, "wait") == 0)
            return commandWait(argv[2], (DWORD)seconds, filter);
        if (strcmp(command, "gone") == 0)
            return commandGone(argv[2], (DWORD)seconds, filter);
        if (strcmp(command, "controls") == 0)
            return commandControls(argv[2], filter);
    }
    if (argc < 4 || !parseNumber(argv[3], id))
        return usage();
    if (strcmp(command, "text") == 0 && argc == 4)
        return commandText(argv[2], (int)id);
    if (strcmp(command, "settext") == 0 && argc == 5)
        return commandSetText(argv[2], (int)id, argv[4]);
    if (strcmp(command, "click") == 0 && argc == 4)
        return commandClick(argv[2], (int)id);
    if (strcmp(command, "progress") == 0 && argc == 4)
        return commandProgress(argv[2], (int)id);
    return usage();
}
