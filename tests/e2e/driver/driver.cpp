// spelvane-driver: works the Spelvane dialog from outside its process, the
// way an operator would, following a script of steps (one per line) read
// from the file named on the command line or from standard input. Every
// step prints what it saw; the first expectation that does not hold ends
// the run with status 1 (a script that cannot be understood gives 2).
//
// Steps (strings in double quotes, with \r \n \t \\ \" escapes):
//   timeout MS                  time limit of the waiting steps that follow
//   window                      wait for the main dialog, keep its process
//   text ID "T"                 wait until control ID shows exactly T
//   contains ID "T"             wait until control ID's text contains T
//   lacks ID "T"                control ID's text does not contain T (now)
//   print ID                    print the text of control ID
//   style ID BITS               control ID has every window style bit of BITS (0x...)
//   pos N / check 0|1           wait for trackbar 1003 / check box 1001
//   set-pos N                   move trackbar 1003 as a drag would
//   click ID                    click button or check box ID
//   box "T" Yes|No|OK           wait for the message box T and answer it
//   maybe-box "T" Yes|No|OK MS  answer the box T if it shows up within MS
//   no-box MS                   no message box shows up within MS
//   open-file "PATH"            fill the file-open dialog and press Open
//   cancel-file                 cancel the file-open dialog
//   list                        print the dialog windows on the desktop
//   rect                        print the main window's screen rectangle
//   sleep MS
//   close                       WM_CLOSE to the main dialog
//   exit N                      wait for the process to end with status N
//   hold "PATH"                 open PATH (made when missing) sharing it for reading only,
//                               as a spreadsheet holds a file, until the driver ends
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kTitle = "Spelvane 1.0";
constexpr int kTrackbarId = 1003;
constexpr int kCheckBoxId = 1001;
constexpr DWORD kCallLimitMs = 5000;
constexpr DWORD kSettleMs = 300;

DWORD g_timeoutMs = 10000;
HWND g_main = nullptr;
HANDLE g_process = nullptr;
DWORD g_processId = 0;

struct Failure {
    std::string what;
};

struct ScriptError {
    std::string what;
};

std::string className(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Every call into the other process is bounded, so a hung program fails
// the run instead of hanging the driver.
bool sendBounded(HWND window, UINT message, WPARAM w, LPARAM l, DWORD_PTR* result = nullptr) {
    DWORD_PTR r = 0;
    LRESULT ok = SendMessageTimeoutA(window, message, w, l, SMTO_NORMAL, kCallLimitMs, &r);
    if (result) *result = r;
    return ok != 0;
}

constexpr const char* kNoAnswer = "<no answer>";

std::string windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!sendBounded(window, WM_GETTEXTLENGTH, 0, 0, &length)) return kNoAnswer;
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!sendBounded(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                     &copied))
        return kNoAnswer;
    return std::string(buffer.data(), std::min<size_t>(copied, length));
}

// Makes control texts readable on one output line.
std::string shown(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '"') out += "\\\"";
        else out += c;
    }
    return out + "\"";
}

bool isMainDialog(HWND window) {
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    return className(window) == "#32770" && std::strcmp(title, kTitle) == 0 &&
           GetDlgItem(window, kTrackbarId) != nullptr;
}

BOOL CALLBACK collectTopLevel(HWND window, LPARAM out) {
    reinterpret_cast<std::vector<HWND>*>(out)->push_back(window);
    return TRUE;
}

std::vector<HWND> topLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(collectTopLevel, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

BOOL CALLBACK collectChild(HWND window, LPARAM out) {
    reinterpret_cast<std::vector<HWND>*>(out)->push_back(window);
    return TRUE;
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> windows;
    EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Dialogs that the program puts up besides its main window: message boxes
// and the file-open dialog. They are told by their process rather than by
// their owner, so that a box shown after the main dialog has gone is seen.
std::vector<HWND> ownedDialogs() {
    std::vector<HWND> found;
    for (HWND window : topLevelWindows()) {
        if (window == g_main || !IsWindowVisible(window)) continue;
        if (className(window) != "#32770") continue;
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (g_processId && processId != g_processId) continue;
        found.push_back(window);
    }
    return found;
}

// The text of a message box is its one static control that is not an icon.
std::string messageBoxText(HWND box) {
    for (HWND child : children(box)) {
        if (className(child) != "Static") continue;
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) continue;
        std::string text = windowText(child);
        if (!text.empty()) return text;
    }
    return "";
}

bool isMessageBox(HWND window) {
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    return std::strcmp(title, kTitle) == 0 && GetDlgItem(window, kTrackbarId) == nullptr;
}

template <typename Condition>
bool waitFor(Condition condition, DWORD limitMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= limitMs) return false;
        Sleep(40);
    }
}

HWND control(int id) {
    if (!g_main || !IsWindow(g_main)) throw Failure{"the main dialog is not there"};
    HWND item = GetDlgItem(g_main, id);
    if (!item) throw Failure{"no control " + std::to_string(id)};
    return item;
}

DWORD_PTR controlQuery(int id, UINT message) {
    DWORD_PTR result = 0;
    if (!sendBounded(control(id), message, 0, 0, &result))
        throw Failure{"control " + std::to_string(id) + " does not answer"};
    return result;
}

void findMain() {
    bool found = waitFor(
        [] {
            // Visible only once WM_INITDIALOG is through and every control
            // of the template exists.
            for (HWND window : topLevelWindows())
                if (isMainDialog(window) && IsWindowVisible(window)) {
                    g_main = window;
                    return true;
                }
            return false;
        },
        g_timeoutMs);
    if (!found) throw Failure{"no window \"Spelvane 1.0\" appeared"};
    GetWindowThreadProcessId(g_main, &g_processId);
    g_process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, g_processId);
    std::printf("     main dialog found (process %lu)\n", g_processId);
}

void expectText(int id, const std::string& wanted, bool whole) {
    std::string seen;
    bool held = waitFor(
        [&] {
            seen = windowText(control(id));
            return whole ? seen == wanted : seen.find(wanted) != std::string::npos;
        },
        g_timeoutMs);
    if (!held) throw Failure{"control " + std::to_string(id) + " shows " + shown(seen)};
    std::printf("     saw %s\n", shown(seen).c_str());
}

void expectValue(int id, UINT message, long wanted, const char* what) {
    long seen = 0;
    bool held = waitFor(
        [&] {
            seen = static_cast<long>(controlQuery(id, message));
            return seen == wanted;
        },
        g_timeoutMs);
    if (!held) throw Failure{std::string(what) + " is " + std::to_string(seen)};
    std::printf("     %s is %ld\n", what, seen);
}

void moveTrackbar(long position) {
    HWND trackbar = control(kTrackbarId);
    sendBounded(trackbar, TBM_SETPOS, TRUE, position);
    // The notifications a drag ends with; the program reads TBM_GETPOS.
    sendBounded(g_main, WM_HSCROLL, MAKEWPARAM(TB_THUMBPOSITION, position),
                reinterpret_cast<LPARAM>(trackbar));
    sendBounded(g_main, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(trackbar));
}

// What a mouse click on a button ends in: an automatic check box flips its
// state, then the dialog gets BN_CLICKED. BM_CLICK would do the same through
// faked mouse messages, but those lose the click when the activation moves
// between the dialog and a box that has just closed.
void click(int id) {
    HWND button = control(id);
    LONG type = GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK;
    if (type == BS_AUTOCHECKBOX) {
        DWORD_PTR state = 0;
        sendBounded(button, BM_GETCHECK, 0, 0, &state);
        sendBounded(button, BM_SETCHECK, state == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    }
    if (!sendBounded(g_main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)))
        throw Failure{"the main dialog does not answer"};
}

int buttonId(const std::string& name) {
    if (name == "Yes") return IDYES;
    if (name == "No") return IDNO;
    if (name == "OK") return IDOK;
    if (name == "Cancel") return IDCANCEL;
    throw Failure{"unknown button " + name};
}

void pressAndWaitGone(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    if (!button) throw Failure{"the dialog has no button " + std::to_string(id)};
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    if (!waitFor([&] { return !IsWindow(dialog); }, g_timeoutMs))
        throw Failure{"the dialog stayed open after its button was pressed"};
    // A modal box disables its owner; the owner is enabled again just before
    // the call that showed the box returns, unless the next box follows.
    auto settled = [] {
        return !IsWindow(g_main) || IsWindowEnabled(g_main) || !ownedDialogs().empty();
    };
    if (g_main && !waitFor(settled, g_timeoutMs)) throw Failure{"the main dialog stayed disabled"};
}

// With `optional`, a box that does not appear in time is no failure.
// prefix: the box need only begin with wanted (a text that names a backup
// by the time it was taken).
void answerBox(const std::string& wanted, const std::string& answer, DWORD limitMs,
               bool optional, bool prefix = false) {
    HWND box = nullptr;
    std::string seen;
    bool appeared = waitFor(
        [&] {
            for (HWND dialog : ownedDialogs())
                if (isMessageBox(dialog)) {
                    // A box still being built has no text yet.
                    box = dialog;
                    seen = messageBoxText(dialog);
                    return !seen.empty() && seen != kNoAnswer;
                }
            // A program that has ended shows no more boxes.
            return optional && g_process && WaitForSingleObject(g_process, 0) == WAIT_OBJECT_0;
        },
        limitMs);
    if (optional && !box) {
        std::printf("     no box appeared\n");
        return;
    }
    if (!appeared) throw Failure{"no message box appeared"};
    if (prefix ? seen.rfind(wanted, 0) != 0 : seen != wanted) throw Failure{"the message box says " + shown(seen)};
    std::printf("     box %s, pressing %s\n", shown(seen).c_str(), answer.c_str());
    pressAndWaitGone(box, buttonId(answer));
    // The program takes its command as done only after the box is gone; a
    // button pressed before that would be dropped, so pause as a user would.
    Sleep(kSettleMs);
}

void expectNoBox(DWORD periodMs) {
    std::string seen;
    bool appeared = waitFor(
        [&] {
            for (HWND dialog : ownedDialogs())
                if (isMessageBox(dialog)) {
                    seen = messageBoxText(dialog);
                    return true;
                }
            return false;
        },
        periodMs);
    if (appeared) throw Failure{"a message box appeared: " + shown(seen)};
}

HWND waitForFileDialog() {
    HWND found = nullptr;
    bool appeared = waitFor(
        [&] {
            for (HWND dialog : ownedDialogs())
                if (!isMessageBox(dialog)) {
                    found = dialog;
                    return true;
                }
            return false;
        },
        g_timeoutMs);
    if (!appeared) throw Failure{"no file dialog appeared"};
    return found;
}

// The explorer-style dialog keeps its file name in combo box 0x47c with an
// edit inside; the older layout uses edit 0x480.
HWND fileNameBox(HWND dialog) {
    HWND box = GetDlgItem(dialog, 0x47c);
    if (box) {
        if (className(box) == "Edit") return box;
        for (HWND child : children(box))
            if (className(child) == "Edit") return child;
    }
    if (HWND edit = GetDlgItem(dialog, 0x480)) return edit;
    for (HWND child : children(dialog))
        if (className(child) == "Edit" && IsWindowVisible(child)) return child;
    throw Failure{"the file dialog has no file name box"};
}

void fillFileDialog(const std::string& path) {
    HWND dialog = waitForFileDialog();
    HWND name = fileNameBox(dialog);
    std::printf("     file dialog, name box shows %s\n", shown(windowText(name)).c_str());
    sendBounded(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    pressAndWaitGone(dialog, IDOK);
}

void cancelFileDialog() {
    pressAndWaitGone(waitForFileDialog(), IDCANCEL);
    Sleep(kSettleMs);
}

// Closed when the driver ends.
void holdFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw Failure{"cannot open " + path + ": error " + std::to_string(GetLastError())};
    std::printf("     holding %s\n", path.c_str());
}

void expectExit(DWORD wanted) {
    if (!g_process) throw Failure{"the program's process was never found"};
    if (WaitForSingleObject(g_process, g_timeoutMs) != WAIT_OBJECT_0)
        throw Failure{"the program did not end"};
    DWORD status = 0;
    GetExitCodeProcess(g_process, &status);
    if (status != wanted) throw Failure{"the program ended with status " + std::to_string(status)};
    std::printf("     exit status %lu\n", status);
}

// Prints every dialog window on the desktop; helps to see why a wait failed.
void listDialogs() {
    for (HWND window : topLevelWindows()) {
        if (className(window) != "#32770") continue;
        char title[128] = {};
        GetWindowTextA(window, title, sizeof title);
        std::printf("     dialog %p \"%s\" owner %p%s%s\n", static_cast<void*>(window), title,
                    static_cast<void*>(GetWindow(window, GW_OWNER)),
                    IsWindowVisible(window) ? "" : " hidden", window == g_main ? " (main)" : "");
    }
}

// Splits a script line into words; a word in double quotes may hold blanks
// and the escapes \r \n \t \\ \".
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size() || line[i] == '#') break;
        std::string word;
        if (line[i] == '"') {
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size()) {
                    char c = line[++i];
                    word += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
                } else {
                    word += line[i];
                }
            }
            if (i >= line.size()) throw ScriptError{"unterminated string"};
            ++i;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t') word += line[i++];
        }
        out.push_back(word);
    }
    return out;
}

long number(const std::vector<std::string>& step, size_t index) {
    if (index >= step.size()) throw Failure{"a number is missing"};
    char* end = nullptr;
    long value = std::strtol(step[index].c_str(), &end, 0);
    if (*end != '\0') throw Failure{"not a number: " + step[index]};
    return value;
}

const std::string& word(const std::vector<std::string>& step, size_t index) {
    if (index >= step.size()) throw Failure{"a word is missing"};
    return step[index];
}

void run(const std::vector<std::string>& step) {
    const std::string& verb = step[0];
    if (verb == "timeout") g_timeoutMs = static_cast<DWORD>(number(step, 1));
    else if (verb == "window") findMain();
    else if (verb == "text") expectText(number(step, 1), word(step, 2), true);
    else if (verb == "contains") expectText(number(step, 1), word(step, 2), false);
    else if (verb == "lacks") {
        std::string seen = windowText(control(number(step, 1)));
        if (seen.find(word(step, 2)) != std::string::npos)
            throw Failure{"the text holds it: " + shown(seen)};
    } else if (verb == "style") {
        const DWORD wanted = std::strtoul(word(step, 2).c_str(), nullptr, 16);
        const DWORD style = static_cast<DWORD>(GetWindowLongA(control(number(step, 1)), GWL_STYLE));
        if ((style & wanted) != wanted) throw Failure{"the style is " + std::to_string(style)};
    } else if (verb == "print") std::printf("     %s\n", shown(windowText(control(number(step, 1)))).c_str());
    else if (verb == "pos") expectValue(kTrackbarId, TBM_GETPOS, number(step, 1), "trackbar position");
    else if (verb == "check") expectValue(kCheckBoxId, BM_GETCHECK, number(step, 1), "check box");
    else if (verb == "set-pos") moveTrackbar(number(step, 1));
    else if (verb == "click") click(number(step, 1)); else if (verb == "box") answerBox(word(step, 1), word(step, 2), g_timeoutMs, false);
    else if (verb == "box-prefix") answerBox(word(step, 1), word(step, 2), g_timeoutMs, false, true);
    else if (verb == "maybe-box") answerBox(word(step, 1), word(step, 2), number(step, 3), true);
    else if (verb == "no-box") expectNoBox(number(step, 1));
    else if (verb == "open-file") fillFileDialog(word(step, 1));
    else if (verb == "cancel-file") cancelFileDialog();
    else if (verb == "rect") {
        RECT r{};
        if (!g_main || !GetWindowRect(g_main, &r)) throw Failure{"the main dialog is not there"};
        std::printf("rect %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    } else if (verb == "list") {
        listDialogs();
    } else if (verb == "sleep") Sleep(number(step, 1));
    else if (verb == "close") {
        if (!g_main || !PostMessageA(g_main, WM_CLOSE, 0, 0)) throw Failure{"cannot close the main dialog"};
    } else if (verb == "exit") expectExit(number(step, 1));
    else if (verb == "hold") holdFile(word(step, 1));
    else throw ScriptError{"unknown step " + verb};
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    FILE* script = stdin;
    if (argc > 1 && std::strcmp(argv[1], "-") != 0) {
        script = std::fopen(argv[1], "rb");
        if (!script) {
            std::fprintf(stderr, "cannot open %s\n", argv[1]);
            return 2;
        }
    }
    char buffer[4096];
    int lineNumber = 0;
    while (std::fgets(buffer, sizeof buffer, script)) {
        ++lineNumber;
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        try {
            std::vector<std::string> step = words(line);
            if (step.empty()) continue;
            std::printf("%3d  %s\n", lineNumber, line.c_str());
            run(step);
        } catch (const Failure& failure) {
            std::printf("FAIL line %d: %s\n", lineNumber, failure.what.c_str());
            listDialogs();
            if (g_main && IsWindow(g_main) && GetDlgItem(g_main, 1000))
                std::printf("     log box: %s\n", shown(windowText(GetDlgItem(g_main, 1000))).c_str());
            return 1;
        } catch (const ScriptError& error) {
            std::printf("SCRIPT ERROR line %d: %s\n", lineNumber, error.what.c_str());
            return 2;
        }
    }
    std::printf("PASS\n");
    return 0;
}
