// The UI probe of `sfxpack try` and of the end-to-end tests. Starts a program, watches
// its windows from the outside as a user would see them, acts on them when told, and
// reports every change as one JSON line on stdout. Runs in the same Wine session as
// the program.
//
//   sfxprobe.exe [--env NAME=VALUE]... [--cwd DIR] [--timeout MS] [--boxes KEY]
//                [--at WHEN WHAT]... [--value KEY NAME] -- PROGRAM [ARGS...]
//   sfxprobe.exe --keep-desktop
//
// --keep-desktop holds the session's desktop until it is ended: Wine closes a desktop
// a second after its last program has ended, and the next program must start it again
// within Wine's ten seconds, which a slow machine misses (the program's dialog then
// cannot be created). It reports "desktop" once it holds it, or an error when the
// desktop did not start in time.
//
// Events: start, dialog (the program's progress window: title, status, visible),
// layout, box (an error box of the program), foreignbox (one of a program it started),
// window (another visible window of a program it started), process (with its command
// line), ended (with its exit code), action, paused, resumed, held, destroyed, value,
// exit. --value KEY NAME: once the program has ended, the string value NAME of KEY
// (under HKCU\ or HKLM\), reported as "value" with its data, null where there is
// none: what the program left in the registry, read without starting another program.
// WHEN: start | created (the window exists, shown or not) | visible | hidden | status:TEXT
//       | child:IMAGE.exe | box | foreignbox
// WHAT: escape | enter (a key posted to the dialog, or to the box for box conditions)
//       | wmclose | quit:CODE (a quit message to the window's thread)
//       | hold (the program but its window's thread is held until the window shows and
//         has painted, which is then reported: a state too short to be seen otherwise,
//         since the worker started meanwhile is held before it runs; a window that a
//         worker already running when the hold began has hidden is not waited for)
//       | pause (a hold that lasts until a line arrives on stdin, for pictures)
//       | heldescape (from start: the program's threads but its first are held as they
//         start, Escape is pressed once the window exists and the worker is held, and
//         the worker runs on when the window's thread has stopped answering, being in
//         its wait for the worker: all the worker does then falls inside that wait)
// Each --at fires once, in the order given. --boxes KEY (enter or escape): every box
// and foreign box, once reported, is followed by "paused"; when a line arrives on stdin
// (the driver has its picture) KEY is posted to it. Exit status: 0 when the program
// ended (its code is in the "exit" event), 3 on time-out (the program tree is killed),
// 2 on bad usage.
#include <windows.h>

#include <cstdlib>

#include "ChildProcesses.h"
#include "JsonLine.h"
#include "ProcessHold.h"
#include "ProcessTree.h"

namespace {

const int kStatusId = 1000;
const int kAnimationId = 1015;
const int kBoxTextId = 0xFFFF;
// A box still in sight this long after its key gets the key again.
const DWORD kBoxRepeatMs = 3000;

struct Action {
    const wchar_t* when;
    const wchar_t* what;
    bool done;
};

struct Seen {
    DWORD firstThread = 0;  // the program's first thread, which runs its window
    HWND dialog = nullptr;
    DWORD dialogThread = 0;
    bool wasVisible = false;
    bool layoutReported = false;
    bool visible = false;
    wchar_t title[512] = {};
    wchar_t status[1024] = {};
    HWND box = nullptr;
    HWND foreignBox = nullptr;
    HWND foreignWindow = nullptr;
    DWORD boxAnsweredAt = 0;  // when the box in sight last got the --boxes key
};

struct Options {
    wchar_t* overrides[32];
    int overrideCount = 0;
    Action actions[32];
    int actionCount = 0;
    const wchar_t* cwd = nullptr;
    DWORD timeout = 60000;
    UINT boxKey = 0;   // --boxes: the key each box gets after the driver's answer
    const wchar_t* valueKey = nullptr;  // --value
    const wchar_t* valueName = nullptr;
    int program = 0;  // the index of PROGRAM in argv
};

DWORD g_start;
DWORD Elapsed() {
    return GetTickCount() - g_start;
}

bool StartsWith(const wchar_t* text, const wchar_t* prefix) {
    size_t n = lstrlenW(prefix);
    return wcsncmp(text, prefix, n) == 0;
}

// Quotes one argument so that the runtime's argument parser gives it back unchanged.
void AppendQuoted(wchar_t* line, size_t capacity, const wchar_t* arg) {
    size_t length = lstrlenW(line);
    auto put = [&](wchar_t c) {
        if (length + 1 < capacity) line[length++] = c;
    };
    if (length) put(L' ');
    bool needsQuotes = !*arg || wcspbrk(arg, L" \t\"") != nullptr;
    if (!needsQuotes) {
        for (const wchar_t* p = arg; *p; ++p) put(*p);
    } else {
        put(L'"');
        for (const wchar_t* p = arg;; ++p) {
            int slashes = 0;
            while (*p == L'\\') ++p, ++slashes;
            if (!*p) {
                for (int i = 0; i < slashes * 2; ++i) put(L'\\');
                break;
            }
            int count = *p == L'"' ? slashes * 2 + 1 : slashes;
            for (int i = 0; i < count; ++i) put(L'\\');
            put(*p);
        }
        put(L'"');
    }
    line[length] = 0;
}

// The current environment with NAME=VALUE overrides; names compare without case.
void BuildEnvironment(wchar_t* block, size_t capacity, wchar_t* const* overrides, int count) {
    size_t used = 0;
    auto append = [&](const wchar_t* entry) {
        size_t n = lstrlenW(entry) + 1;
        if (used + n + 1 >= capacity) return;
        memcpy(block + used, entry, n * sizeof(wchar_t));
        used += n;
    };
    wchar_t* current = GetEnvironmentStringsW();
    for (const wchar_t* entry = current; *entry; entry += lstrlenW(entry) + 1) {
        bool replaced = false;
        for (int i = 0; i < count && !replaced; ++i) {
            const wchar_t* eq = wcschr(overrides[i] + 1, L'=');
            int nameLength = static_cast<int>(eq - overrides[i]);
            replaced = CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, entry, nameLength, overrides[i],
                                      nameLength) == CSTR_EQUAL &&
                       entry[nameLength] == L'=';
        }
        if (!replaced) append(entry);
    }
    FreeEnvironmentStringsW(current);
    for (int i = 0; i < count; ++i) append(overrides[i]);
    block[used] = 0;
}

struct WindowSearch {
    const ProcessTree* tree;
    DWORD rootId;
    HWND dialog;
    HWND box;
    HWND foreignBox;
    HWND foreignWindow;
};

BOOL CALLBACK FindWindows(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!search->tree->Contains(processId)) return TRUE;
    bool own = processId == search->rootId;
    if (own && !search->dialog && GetDlgItem(window, kAnimationId)) {
        search->dialog = window;
    } else if (GetDlgItem(window, kBoxTextId) && IsWindowVisible(window)) {
        (own ? search->box : search->foreignBox) = window;
    } else if (!own && !search->foreignWindow && IsWindowVisible(window)) {
        search->foreignWindow = window;
    }
    return TRUE;
}

void PostKey(HWND target, UINT key) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    HWND receiver = target;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(target, nullptr), &info) && info.hwndFocus &&
        (info.hwndFocus == target || IsChild(target, info.hwndFocus)))
        receiver = info.hwndFocus;
    UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
    PostMessageW(receiver, WM_KEYDOWN, key, 1 | (scan << 16));
    PostMessageW(receiver, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000u);
}

DWORD WINAPI ReadLine(void*) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char c = 0;
    DWORD read = 0;
    while (ReadFile(input, &c, 1, &read, nullptr) && read == 1 && c != '\n') {
    }
    return 0;
}

void ReportLayout(HWND dialog) {
    RECT frame = {}, status = {}, animation = {};
    GetWindowRect(dialog, &frame);
    GetWindowRect(GetDlgItem(dialog, kStatusId), &status);
    GetWindowRect(GetDlgItem(dialog, kAnimationId), &animation);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    JsonLine(Elapsed(), "layout")
        .Add("left", static_cast<long long>(frame.left))
        .Add("top", static_cast<long long>(frame.top))
        .Add("right", static_cast<long long>(frame.right))
        .Add("bottom", static_cast<long long>(frame.bottom))
        .Add("work_left", static_cast<long long>(work.left))
        .Add("work_top", static_cast<long long>(work.top))
        .Add("work_right", static_cast<long long>(work.right))
        .Add("work_bottom", static_cast<long long>(work.bottom))
        .Add("status_left", static_cast<long long>(status.left))
        .Add("status_right", static_cast<long long>(status.right))
        .Add("status_top", static_cast<long long>(status.top))
        .Add("status_bottom", static_cast<long long>(status.bottom))
        .Add("anim_left", static_cast<long long>(animation.left))
        .Add("anim_top", static_cast<long long>(animation.top))
        .Add("anim_right", static_cast<long long>(animation.right))
        .Add("anim_bottom", static_cast<long long>(animation.bottom));
}

// Reports a box; with --boxes, waits for the driver's line and answers the box.
void ReportBox(const char* event, HWND box, HWND dialog, UINT boxKey) {
    wchar_t caption[512] = {}, text[2048] = {};
    InternalGetWindowText(box, caption, 512);
    InternalGetWindowText(GetDlgItem(box, kBoxTextId), text, 2048);
    JsonLine(Elapsed(), event)
        .Add("caption", caption)
        .Add("text", text)
        .Add("owned_by_dialog", dialog && GetWindow(box, GW_OWNER) == dialog);
    if (!boxKey) return;
    JsonLine(Elapsed(), "paused");
    ReadLine(nullptr);
    PostKey(box, boxKey);
}

void ReportForeignWindow(HWND window) {
    wchar_t title[512] = {};
    InternalGetWindowText(window, title, 512);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    JsonLine(Elapsed(), "window").Add("title", title).Add("pid", static_cast<long long>(processId));
}

void WatchDialog(Seen& seen) {
    if (!IsWindow(seen.dialog)) {
        JsonLine(Elapsed(), "destroyed");
        seen.dialog = nullptr;
        seen.visible = false;
        return;
    }
    bool visible = IsWindowVisible(seen.dialog) != FALSE;
    // Nothing is reported before the user can see it: the template's texts are replaced
    // while the window is still hidden.
    if (!visible && !seen.wasVisible) return;
    if (visible && !seen.layoutReported) {
        ReportLayout(seen.dialog);
        seen.layoutReported = true;
    }
    wchar_t title[512] = {}, status[1024] = {};
    InternalGetWindowText(seen.dialog, title, 512);
    // While the window is destroyed its controls go first: the last text seen stays.
    HWND statusLine = GetDlgItem(seen.dialog, kStatusId);
    if (statusLine)
        InternalGetWindowText(statusLine, status, 1024);
    else
        lstrcpynW(status, seen.status, 1024);
    if (lstrcmpW(title, seen.title) || lstrcmpW(status, seen.status) || visible != seen.visible) {
        lstrcpynW(seen.title, title, 512);
        lstrcpynW(seen.status, status, 1024);
        seen.visible = visible;
        seen.wasVisible = true;
        JsonLine(Elapsed(), "dialog").Add("title", title).Add("status", status).Add("visible", visible);
    }
}

void WatchWindows(const WindowSearch& search, Seen& seen, UINT boxKey) {
    if (search.dialog && search.dialog != seen.dialog) {
        seen.dialog = search.dialog;
        seen.dialogThread = GetWindowThreadProcessId(search.dialog, nullptr);
    }
    if (seen.dialog) WatchDialog(seen);
    bool answered = false;
    if (search.box != seen.box) {
        seen.box = search.box;
        if (seen.box) ReportBox("box", seen.box, seen.dialog, boxKey);
        answered = true;
    }
    if (search.foreignBox != seen.foreignBox) {
        seen.foreignBox = search.foreignBox;
        if (seen.foreignBox) ReportBox("foreignbox", seen.foreignBox, nullptr, boxKey);
        answered = true;
    }
    HWND box = seen.box ? seen.box : seen.foreignBox;
    if (answered) {
        seen.boxAnsweredAt = GetTickCount();
    } else if (box && boxKey && GetTickCount() - seen.boxAnsweredAt > kBoxRepeatMs) {
        // As a person presses again when a box stays: a key that reaches a box still
        // being set up can be lost.
        PostKey(box, boxKey);
        seen.boxAnsweredAt = GetTickCount();
    }
    if (search.foreignWindow != seen.foreignWindow) {
        seen.foreignWindow = search.foreignWindow;
        if (seen.foreignWindow) ReportForeignWindow(seen.foreignWindow);
    }
}

// Finds the program's windows and reports what changed.
void LookAtWindows(const ProcessTree& tree, DWORD rootId, Seen& seen, UINT boxKey = 0) {
    WindowSearch search = {&tree, rootId, nullptr, nullptr, nullptr, nullptr};
    EnumWindows(FindWindows, reinterpret_cast<LPARAM>(&search));
    WatchWindows(search, seen, boxKey);
}

// Holds the program but its window's thread until the window shows and has had time to
// paint (or is found hidden by work begun before the hold), reports what it shows,
// and, for a pause, goes on holding until the driver sends a line (so a picture taken
// then shows what the user sees).
void Hold(Seen& seen, DWORD processId, bool untilLine) {
    const DWORD kSettleMs = 300, kMostMs = 10000;
    ProcessHold hold(processId, seen.dialogThread);
    DWORD start = GetTickCount(), visibleSince = 0;
    while (GetTickCount() - start < kMostMs) {
        hold.Service(5);
        // A window that the program's own work, under way before the hold (a late
        // look), has hidden is not shown again while that work is held: no wait for it.
        if (seen.dialog && !IsWindowVisible(seen.dialog) && hold.FoundAtWork()) break;
        if (!seen.dialog || !IsWindowVisible(seen.dialog)) continue;
        if (!visibleSince) visibleSince = GetTickCount();
        if (GetTickCount() - visibleSince >= kSettleMs) break;
    }
    if (seen.dialog) WatchDialog(seen);
    JsonLine(Elapsed(), "paused");
    if (!untilLine) return;
    KernelHandle reader(CreateThread(nullptr, 0, ReadLine, nullptr, 0, nullptr));
    while (reader && WaitForSingleObject(reader.get(), 0) == WAIT_TIMEOUT) hold.Service(5);
}

// True when the window's thread did not answer within waitMs (or the window is gone).
bool Unanswered(HWND window, UINT waitMs) {
    DWORD_PTR result = 0;
    return !SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, waitMs, &result);
}

// Holds every thread the program's own code starts, so the worker from its first
// instruction; presses Escape once the window exists and the worker is held; lets the
// worker go once the window's thread is in its bounded wait: two unanswered looks in a
// row, with the program's debug events handled between them, since a pending event
// stops every thread of the program for a moment.
void EscapeWhileHeld(Seen& seen, const ProcessTree& tree, DWORD processId) {
    const DWORD kMostMs = 10000;
    ProcessHold hold(processId, seen.firstThread);
    DWORD start = GetTickCount();
    while ((hold.HeldCount() == 0 || !seen.dialog) && GetTickCount() - start < kMostMs) {
        hold.Service(5);
        LookAtWindows(tree, processId, seen);
    }
    JsonLine(Elapsed(), "held").Add("threads", static_cast<long long>(hold.HeldCount()));
    if (!seen.dialog) return;
    PostKey(seen.dialog, VK_ESCAPE);
    for (int unanswered = 0; unanswered < 2 && GetTickCount() - start < kMostMs;) {
        hold.Service(5);
        unanswered = Unanswered(seen.dialog, 50) ? unanswered + 1 : 0;
    }
}

// True once when the condition holds.
bool Holds(const wchar_t* when, const Seen& seen, const ProcessTree& tree) {
    if (!lstrcmpW(when, L"start")) return true;
    if (!lstrcmpW(when, L"created")) return seen.dialog != nullptr;
    if (!lstrcmpW(when, L"visible")) return seen.dialog && seen.visible;
    if (!lstrcmpW(when, L"hidden")) return seen.dialog && seen.wasVisible && !seen.visible;
    if (!lstrcmpW(when, L"box")) return seen.box != nullptr;
    if (!lstrcmpW(when, L"foreignbox")) return seen.foreignBox != nullptr;
    if (StartsWith(when, L"status:")) return seen.dialog && !lstrcmpW(seen.status, when + 7);
    if (StartsWith(when, L"child:")) return tree.HasDescendant(when + 6);
    return false;
}

void Act(const Action& action, Seen& seen, const ProcessTree& tree, DWORD processId) {
    bool onBox = !lstrcmpW(action.when, L"box") || !lstrcmpW(action.when, L"foreignbox");
    HWND target = onBox ? (!lstrcmpW(action.when, L"box") ? seen.box : seen.foreignBox) : seen.dialog;
    JsonLine(Elapsed(), "action").Add("when", action.when).Add("what", action.what);
    if (!lstrcmpW(action.what, L"escape") && target) {
        PostKey(target, VK_ESCAPE);
    } else if (!lstrcmpW(action.what, L"enter") && target) {
        PostKey(target, VK_RETURN);
    } else if (!lstrcmpW(action.what, L"wmclose") && seen.dialog) {
        PostMessageW(seen.dialog, WM_CLOSE, 0, 0);
    } else if (StartsWith(action.what, L"quit:") && seen.dialogThread) {
        PostThreadMessageW(seen.dialogThread, WM_QUIT, _wtoi(action.what + 5), 0);
    } else if (!lstrcmpW(action.what, L"pause") || !lstrcmpW(action.what, L"hold")) {
        Hold(seen, processId, action.what[0] == L'p');
        JsonLine(Elapsed(), "resumed");
    } else if (!lstrcmpW(action.what, L"heldescape")) {
        EscapeWhileHeld(seen, tree, processId);
        JsonLine(Elapsed(), "resumed");
    }
}

int Usage() {
    JsonLine(0, "usage")
        .Add("text", L"sfxprobe.exe [--env N=V] [--cwd DIR] [--timeout MS] [--boxes KEY] [--at WHEN WHAT] "
                     L"[--value KEY NAME] -- PROGRAM [ARGS] | sfxprobe.exe --keep-desktop");
    return 2;
}

bool ParseArguments(int argc, wchar_t** argv, Options& options) {
    int i = 1;
    for (; i < argc && lstrcmpW(argv[i], L"--"); ++i) {
        if (!lstrcmpW(argv[i], L"--env") && i + 1 < argc && wcschr(argv[i + 1], L'=') && options.overrideCount < 32)
            options.overrides[options.overrideCount++] = argv[++i];
        else if (!lstrcmpW(argv[i], L"--cwd") && i + 1 < argc)
            options.cwd = argv[++i];
        else if (!lstrcmpW(argv[i], L"--timeout") && i + 1 < argc)
            options.timeout = static_cast<DWORD>(_wtoi(argv[++i]));
        else if (!lstrcmpW(argv[i], L"--boxes") && i + 1 < argc && !lstrcmpW(argv[i + 1], L"enter"))
            options.boxKey = VK_RETURN, ++i;
        else if (!lstrcmpW(argv[i], L"--boxes") && i + 1 < argc && !lstrcmpW(argv[i + 1], L"escape"))
            options.boxKey = VK_ESCAPE, ++i;
        else if (!lstrcmpW(argv[i], L"--value") && i + 2 < argc)
            options.valueKey = argv[i + 1], options.valueName = argv[i + 2], i += 2;
        else if (!lstrcmpW(argv[i], L"--at") && i + 2 < argc && options.actionCount < 32)
            options.actions[options.actionCount++] = Action{argv[i + 1], argv[i + 2], false}, i += 2;
        else
            return false;
    }
    options.program = i + 1;
    return options.program < argc;
}

// Starts the program as the options say, in a job that follows what it starts;
// reports its start, or the error.
bool StartProgram(int argc, wchar_t** argv, const Options& options, ChildProcesses& children,
                  PROCESS_INFORMATION& process) {
    static wchar_t commandLine[32768];
    for (int a = options.program; a < argc; ++a) AppendQuoted(commandLine, 32768, argv[a]);
    static wchar_t environment[65536];
    BuildEnvironment(environment, 65536, options.overrides, options.overrideCount);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    // Not suspended: the hold attaches to a program that has begun, and Wine tells a
    // debugger attached to one resumed from suspension nothing of the threads it starts.
    // It joins the job before its loader has run, long before it can start anything.
    if (!CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, environment,
                        options.cwd, &startup, &process)) {
        JsonLine(Elapsed(), "error")
            .Add("text", L"cannot start the program")
            .Add("code", static_cast<long long>(GetLastError()));
        return false;
    }
    if (!children.Watch(process.hProcess, process.dwProcessId)) {
        DWORD error = GetLastError();
        TerminateProcess(process.hProcess, 2);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        JsonLine(Elapsed(), "error")
            .Add("text", L"cannot watch the processes the program starts")
            .Add("code", static_cast<long long>(error));
        return false;
    }
    JsonLine(Elapsed(), "start")
        .Add("pid", static_cast<long long>(process.dwProcessId))
        .Add("cmdline", commandLine);
    return true;
}

// One look: processes first, then windows, then the actions whose time has come.
void Look(ProcessTree& tree, ChildProcesses& children, Seen& seen, Options& options, DWORD processId) {
    // What the job told of is taken before the windows are looked at and reported
    // after them: it happened before, so a window hidden before msiexec started is
    // reported before its start even when both happen between two looks.
    children.Collect(tree);
    LookAtWindows(tree, processId, seen, options.boxKey);
    children.Report(Elapsed());
    for (int a = 0; a < options.actionCount; ++a) {
        Action& action = options.actions[a];
        if (action.done) continue;
        if (!Holds(action.when, seen, tree)) break;  // in the order given
        action.done = true;
        Act(action, seen, tree, processId);
    }
}

void ReportValue(const wchar_t* key, const wchar_t* name) {
    HKEY root = StartsWith(key, L"HKCU\\") ? HKEY_CURRENT_USER
                : StartsWith(key, L"HKLM\\") ? HKEY_LOCAL_MACHINE
                                             : nullptr;
    static wchar_t data[32768];
    DWORD size = sizeof data - sizeof(wchar_t);
    const DWORD strings = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    bool found = root && RegGetValueW(root, key + 5, name, strings, nullptr, data, &size) == ERROR_SUCCESS;
    JsonLine line(Elapsed(), "value");
    line.Add("key", key).Add("name", name);
    if (found)
        line.Add("data", data);
    else
        line.AddNull("data");
}

int KeepDesktop() {
    // A hidden top-level window makes this process one of the desktop's users. Where
    // the desktop took too long to start, the caller starts another probe.
    HWND window = CreateWindowExW(0, L"STATIC", L"sfxprobe: desktop", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  nullptr, nullptr);
    if (!window) {
        JsonLine(Elapsed(), "error").Add("text", L"no desktop").Add("code", static_cast<long long>(GetLastError()));
        return 1;
    }
    JsonLine(Elapsed(), "desktop");
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    g_start = GetTickCount();
    if (argc == 2 && !lstrcmpW(argv[1], L"--keep-desktop")) return KeepDesktop();
    Options options;
    if (!ParseArguments(argc, argv, options)) return Usage();
    PROCESS_INFORMATION started = {};
    ChildProcesses children;
    if (!StartProgram(argc, argv, options, children, started)) return 2;
    KernelHandle thread(started.hThread), process(started.hProcess);

    ProcessTree tree(started.dwProcessId);
    Seen seen;
    seen.firstThread = started.dwThreadId;
    long long looks = 0;
    DWORD slowestLook = 0;
    for (DWORD lookStart = GetTickCount(); WaitForSingleObject(process.get(), 1) == WAIT_TIMEOUT;
         lookStart = GetTickCount()) {
        if (Elapsed() > options.timeout) {
            JsonLine(Elapsed(), "timeout");
            children.TerminateAll(3);
            return 3;
        }
        Look(tree, children, seen, options, started.dwProcessId);
        ++looks;
        if (GetTickCount() - lookStart > slowestLook) slowestLook = GetTickCount() - lookStart;
    }
    // What happened since the last look is reported before the program's own end: a
    // child that ended (at once, so that its time is that of its end), and one it
    // started as it ended (the installed application), once it has its name.
    children.Collect(tree);
    children.Report(Elapsed());
    const DWORD kLeastSettleMs = 1000;
    DWORD left = options.timeout > Elapsed() ? options.timeout - Elapsed() : 0;
    children.Settle(left > kLeastSettleMs ? left : kLeastSettleMs);
    children.Collect(tree);
    children.Report(Elapsed());
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    if (options.valueKey) ReportValue(options.valueKey, options.valueName);
    // How often the probe looked: a state shorter than the slowest look may be missed.
    JsonLine(Elapsed(), "exit")
        .Add("code", static_cast<long long>(code))
        .Add("looks", looks)
        .Add("slowest_look_ms", static_cast<long long>(slowestLook));
    return 0;
}
