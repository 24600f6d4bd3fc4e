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
//   uidriver topmost CAPTION [FILTER]            "topmost" or "normal": a system-modal box is topmost
//   uidriver link PATH                           the fields of a shell link file, one a line
//   uidriver face NAME                           the font face a request for NAME gets
//   uidriver started IMAGE [SECONDS]             a process runs the executable IMAGE
//   uidriver ended IMAGE [SECONDS]               no process runs the executable IMAGE
//   uidriver hold-mutex NAME [SECONDS] [--until FILE] [--lock FILE2 SECONDS2]
//                                                owns the named mutex until FILE exists or
//                                                SECONDS (default 60) have passed
//
// CAPTION names a top-level window of the dialog class "#32770"; message
// boxes belong to it too, with their text in static 0xFFFF and buttons
// IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7. An ID is decimal or 0x-hex. Where
// several windows share a caption, the first that has the control ID asked
// for is taken. FILTER narrows wait, gone, controls and topmost: "--has ID" (the
// window has that control) or "--box" (a message box: static 0xFFFF and
// nothing but statics and buttons; a dialog's label may be 0xFFFF too).
// Every command is bounded by a timeout, never blocks on a busy program, and
// exits 0 on success, 1 otherwise (the reason on stderr).
//
// boxes prints, tab-separated: the window handle, "visible" or "hidden", the
// caption, the text of static 0xFFFF (escaped: \n, \r, \t, \\) and "box" for a
// message box or "dialog" for any other dialog.
// link prints "path", "arguments", "working-directory", "description",
// "icon-path" and "icon-index", each followed by a tab and the value (escaped
// as in boxes); the path is GetPath's raw form, as the link stores it.
// hold-mutex prints "held" once it owns the mutex, so a caller reading its
// output knows when the hold has begun, and "released" when it lets go; it
// ends with status 1 when --until was given and the file never came. With --lock it keeps FILE2 open without sharing its deletion while it
// holds the mutex and for SECONDS2 after the release, then prints "unlocked".
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

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
        printf("%p\t%s\t%s\t%s\t%s\n", (void *)window, IsWindowVisible(window) ? "visible" : "hidden",
               escaped(captionOf(window)).c_str(), escaped(boxText(window)).c_str(),
               isMessageBox(window) ? "box" : "dialog");
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

// The face the font mapper gives for a request of the face name: the name
// itself when the font is there, else the face it falls back to.
static int commandFace(const char *name)
{
    HDC dc = GetDC(0);
    HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH, name);
    HGDIOBJ previous = SelectObject(dc, font);
    char face[LF_FACESIZE] = "";
    GetTextFaceA(dc, sizeof face, face);
    SelectObject(dc, previous);
    DeleteObject(font);
    ReleaseDC(0, dc);
    puts(face);
    return 0;
}

static int commandTopmost(const char *caption, Filter filter)
{
    HWND dialog = waitForDialog(caption, filter, DEFAULT_WAIT_SECONDS);
    if (!dialog) {
        fprintf(stderr, "uidriver: no dialog \"%s\"\n", caption);
        return 1;
    }
    puts(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST ? "topmost" : "normal");
    return 0;
}

// ---- Shell links ----

static void printField(const char *label, const char *value)
{
    printf("%s\t%s\n", label, escaped(value).c_str());
}

static int commandLink(const char *path)
{
    if (FAILED(CoInitialize(0))) {
        fputs("uidriver: CoInitialize failed\n", stderr);
        return 1;
    }
    IShellLinkA *link = 0;
    IPersistFile *file = 0;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, 0, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link);
    if (SUCCEEDED(result))
        result = link->QueryInterface(IID_IPersistFile, (void **)&file);
    WCHAR widePath[MAX_PATH];
    if (SUCCEEDED(result) && !MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH))
        result = E_INVALIDARG;
    if (SUCCEEDED(result))
        result = file->Load(widePath, STGM_READ);
    if (SUCCEEDED(result)) {
        // Each buffer is cleared first: a getter that fails leaves it empty.
        char text[4][1024] = {};
        int iconIndex = -1;
        link->GetPath(text[0], sizeof text[0], 0, SLGP_RAWPATH);
        link->GetArguments(text[1], sizeof text[1]);
        link->GetWorkingDirectory(text[2], sizeof text[2]);
        link->GetDescription(text[3], sizeof text[3]);
        char iconPath[1024] = "";
        link->GetIconLocation(iconPath, sizeof iconPath, &iconIndex);
        printField("path", text[0]);
        printField("arguments", text[1]);
        printField("working-directory", text[2]);
        printField("description", text[3]);
        printField("icon-path", iconPath);
        printf("icon-index\t%d\n", iconIndex);
    } else {
        fprintf(stderr, "uidriver: cannot read the link \"%s\" (0x%08lx)\n", path, (unsigned long)result);
    }
    if (file)
        file->Release();
    if (link)
        link->Release();
    CoUninitialize();
    return SUCCEEDED(result) ? 0 : 1;
}

// ---- Processes ----

// How many running processes have IMAGE (a full Windows path, letter case
// ignored) as their executable.
static int countProcesses(const char *image)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        char path[MAX_PATH];
        DWORD size = sizeof path;
        if (QueryFullProcessImageNameA(process, 0, path, &size) && lstrcmpiA(path, image) == 0)
            count++;
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return count;
}

// Waits until a process runs IMAGE (running true) or none does (false).
static int commandProcess(const char *image, bool running, DWORD seconds)
{
    DWORD start = GetTickCount();
    while ((countProcesses(image) > 0) != running) {
        if (GetTickCount() - start >= seconds * 1000) {
            fprintf(stderr, "uidriver: %s %s after %lu s\n", image, running ? "not started" : "still running",
                    seconds);
            return 1;
        }
        Sleep(POLL_MS);
    }
    return 0;
}

// ---- Holding a mutex ----

struct Hold {
    DWORD seconds = 60;           // the longest hold; also the bound of the wait to own it
    const char *untilFile = 0;    // release once this file exists; 0: hold for seconds
    const char *lockFile = 0;     // kept open, deletion not shared, while held
    DWORD lockSeconds = 0;        // and for this long after the release
};

// Owns the named mutex, as another program holding it would, until the file
// exists (when one is named) or the time is up, then releases it. A locked
// file stays open a little longer, as the executable of a program that is
// still ending does.
static int commandHoldMutex(const char *name, const Hold &hold)
{
    HANDLE mutex = CreateMutexA(0, FALSE, name);
    if (!mutex) {
        fprintf(stderr, "uidriver: cannot open mutex \"%s\" (error %lu)\n", name, GetLastError());
        return 1;
    }
    DWORD waited = WaitForSingleObject(mutex, hold.seconds * 1000);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        fprintf(stderr, "uidriver: mutex \"%s\" not owned within %lu s\n", name, hold.seconds);
        CloseHandle(mutex);
        return 1;
    }
    HANDLE locked = INVALID_HANDLE_VALUE;
    if (hold.lockFile) {
        locked = CreateFileA(hold.lockFile, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, 0, 0);
        if (locked == INVALID_HANDLE_VALUE) {
            fprintf(stderr, "uidriver: cannot open \"%s\" (error %lu)\n", hold.lockFile, GetLastError());
            ReleaseMutex(mutex);
            CloseHandle(mutex);
            return 1;
        }
    }
    puts("held");
    fflush(stdout);
    DWORD start = GetTickCount();
    bool fileCame = false;
    while (GetTickCount() - start < hold.seconds * 1000) {
        if (hold.untilFile && GetFileAttributesA(hold.untilFile) != INVALID_FILE_ATTRIBUTES) {
            fileCame = true;
            break;
        }
        Sleep(POLL_MS);
    }
    if (hold.untilFile && !fileCame)
        fprintf(stderr, "uidriver: no file \"%s\" within %lu s\n", hold.untilFile, hold.seconds);
    int status = hold.untilFile && !fileCame ? 1 : 0;
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    puts("released");
    if (locked != INVALID_HANDLE_VALUE) {
        fflush(stdout);
        Sleep(hold.lockSeconds * 1000);
        CloseHandle(locked);
        puts("unlocked");
    }
    return status;
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
          "       controls CAPTION [--has ID] [--box] | boxes | caption-of-box TEXT |\n"
          "       topmost CAPTION [--has ID] [--box] | link PATH | started|ended IMAGE [SECONDS] |\n"
          "       face NAME |\n"
          "       hold-mutex NAME [SECONDS] [--until FILE] [--lock FILE2 SECONDS2]\n",
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
    if (strcmp(command, "face") == 0 && argc == 3)
        return commandFace(argv[2]);
    if (strcmp(command, "link") == 0 && argc == 3)
        return commandLink(argv[2]);
    if ((strcmp(command, "started") == 0 || strcmp(command, "ended") == 0) && (argc == 3 || argc == 4)) {
        if (argc == 4 && !parseNumber(argv[3], seconds))
            return usage();
        return commandProcess(argv[2], strcmp(command, "started") == 0, (DWORD)seconds);
    }
    if (strcmp(command, "hold-mutex") == 0 && argc >= 3) {
        Hold hold;
        long lockSeconds;
        for (int i = 3; i < argc; i++) {
            if (strcmp(argv[i], "--until") == 0 && i + 1 < argc) {
                hold.untilFile = argv[++i];
            } else if (strcmp(argv[i], "--lock") == 0 && i + 2 < argc && parseNumber(argv[i + 2], lockSeconds)) {
                hold.lockFile = argv[i + 1];
                hold.lockSeconds = (DWORD)lockSeconds;
                i += 2;
            } else if (parseNumber(argv[i], seconds)) {
                hold.seconds = (DWORD)seconds;
            } else {
                return usage();
            }
        }
        return commandHoldMutex(argv[2], hold);
    }
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
        if (strcmp(command, "topmost") == 0)
            return commandTopmost(argv[2], filter);
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
