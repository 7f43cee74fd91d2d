// winspy.exe: reads and drives proxytool.exe's main window from another process of the same
// Wine prefix, for the end-to-end tests.
//
//   winspy dump                      JSON (UTF-8): pid, title, label, rect (screen), style, exstyle,
//                                       windows (visible top-level windows of the process), columns,
//                                       selected, rows
//   winspy rowrect N                 screen rectangle of row N: "left top right bottom"
//   winspy ctrlrect ID|NAME|TEXT     screen rectangle of a control: by id, by one of the names
//                                       list label button1 button2 button3, or by window text
//   winspy msgbox CAPTION [--dismiss]  text of the program's message box with that caption
//                                       (exit 1 if none); --dismiss presses its OK
//   winspy close                     posts WM_CLOSE to the main window
//   winspy ping MS [EVERY]           once the main window is up, for MS milliseconds sends WM_NULL to it (every
//                                       EVERY ms, default 2) and waits for each answer: JSON with
//                                       samples, worst_ms, mean_ms, over_50ms, gone (the window
//                                       went away before the time was up) and slow: [ms since the
//                                       start, round trip ms] of the first 20 answers over 20 ms
// Options before the command: --wait MS (retry finding the window / box that long, default 0),
// --title TEXT (another main window title). A TEXT or CAPTION argument written "hex:<utf-8 hex>"
// is decoded first, so Chinese texts survive any command-line code page.
// Exit codes: 0 done, 1 window/box/row not found, 2 usage.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/window.h"
#include "text/wide.h"

namespace {

struct Named {
    const wchar_t* name;
    int id;
};
// The control ids proxytool.exe gives its controls, by the names the tests use (the form's 按钮N).
const Named kControls[] = {{L"list", kIdProxyList},
                           {L"label", kIdCountLabel},
                           {L"button1", kIdExportButton},
                           {L"button2", kIdSetProxyButton},
                           {L"button3", kIdCancelProxyButton}};

void Out(const std::string& s) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

void Err(const std::string& s) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), s.data(), static_cast<DWORD>(s.size()), &written, nullptr);
}

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring FromUtf8(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

// "hex:e4bba3" -> L"代"; anything else is taken as it is.
std::wstring DecodeArg(const std::wstring& arg) {
    if (arg.rfind(L"hex:", 0) != 0) return arg;
    std::string bytes;
    for (std::size_t i = 4; i + 1 < arg.size(); i += 2) {
        const std::string pair{static_cast<char>(arg[i]), static_cast<char>(arg[i + 1])};
        bytes.push_back(static_cast<char>(std::strtoul(pair.c_str(), nullptr, 16)));
    }
    return FromUtf8(bytes);
}

std::string Json(const std::wstring& w) {
    std::string out = "\"";
    for (unsigned char c : Utf8(w)) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::wstring WindowText(HWND w) {
    const int n = GetWindowTextLengthW(w);
    std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(w, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return s;
}

template <typename F>
auto Retry(DWORD waitMs, F find) -> decltype(find()) {
    const DWORD start = GetTickCount();
    for (;;) {
        auto found = find();
        if (found || GetTickCount() - start >= waitMs) return found;
        Sleep(50);
    }
}

// Memory inside the target process for list-view messages that carry pointers.
struct Remote {
    HANDLE process = nullptr;
    void* mem = nullptr;
    std::size_t size = 0;
    Remote(DWORD pid, std::size_t bytes) : size(bytes) {
        process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process) mem = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~Remote() {
        if (mem) VirtualFreeEx(process, mem, 0, MEM_RELEASE);
        if (process) CloseHandle(process);
    }
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;
    bool ok() const { return mem != nullptr; }
    bool Write(std::size_t offset, const void* data, std::size_t n) {
        return WriteProcessMemory(process, static_cast<char*>(mem) + offset, data, n, nullptr) != 0;
    }
    bool Read(std::size_t offset, void* data, std::size_t n) {
        return ReadProcessMemory(process, static_cast<char*>(mem) + offset, data, n, nullptr) != 0;
    }
    char* At(std::size_t offset) const { return static_cast<char*>(mem) + offset; }
};

constexpr std::size_t kTextChars = 32768;  // longest cell text read

std::wstring CellText(Remote& r, HWND list, int row, int column) {
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = static_cast<int>(kTextChars);
    item.pszText = reinterpret_cast<LPWSTR>(r.At(sizeof(LVITEMW)));
    wchar_t zero = 0;
    r.Write(sizeof(LVITEMW), &zero, sizeof zero);
    r.Write(0, &item, sizeof item);
    const LRESULT n = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(r.mem));
    std::wstring text(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) r.Read(sizeof(LVITEMW), text.data(), static_cast<std::size_t>(n) * sizeof(wchar_t));
    return text;
}

std::wstring ColumnTitle(Remote& r, HWND list, int column) {
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    col.cchTextMax = 256;
    col.pszText = reinterpret_cast<LPWSTR>(r.At(sizeof(LVITEMW)));
    r.Write(0, &col, sizeof col);
    if (!SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(r.mem))) return {};
    std::wstring text(256, L'\0');
    r.Read(sizeof(LVITEMW), text.data(), 256 * sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), 256));
    return text;
}

HWND FindMain(const std::wstring& title, DWORD waitMs) {
    return Retry(waitMs, [&] { return FindWindowW(nullptr, title.c_str()); });
}

HWND Control(HWND main, int id) { return GetDlgItem(main, id); }

struct WindowCount {
    DWORD pid;
    int visible;
};

BOOL CALLBACK CountVisible(HWND w, LPARAM p) {
    auto* c = reinterpret_cast<WindowCount*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == c->pid && IsWindowVisible(w)) ++c->visible;
    return TRUE;
}

int Dump(HWND main) {
    HWND list = Control(main, kIdProxyList);
    HWND label = Control(main, kIdCountLabel);
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    RECT rc{};
    GetWindowRect(main, &rc);
    std::string out = "{\"pid\": " + std::to_string(pid) + ", \"title\": " + Json(WindowText(main)) +
                      ", \"label\": " + Json(label ? WindowText(label) : L"") + ", \"rect\": [" +
                      std::to_string(rc.left) + ", " + std::to_string(rc.top) + ", " + std::to_string(rc.right) + ", " +
                      std::to_string(rc.bottom) +
                      "], \"style\": " + std::to_string(static_cast<unsigned long>(GetWindowLongW(main, GWL_STYLE))) +
                      ", \"exstyle\": " + std::to_string(static_cast<unsigned long>(GetWindowLongW(main, GWL_EXSTYLE)));
    WindowCount windows{pid, 0};
    EnumWindows(CountVisible, reinterpret_cast<LPARAM>(&windows));
    out += ", \"windows\": " + std::to_string(windows.visible);
    if (!list) {
        Out(out + ", \"columns\": [], \"selected\": -1, \"rows\": []}\n");
        return 0;
    }
    Remote r(pid, sizeof(LVITEMW) + (kTextChars + 1) * sizeof(wchar_t));
    if (!r.ok()) {
        Err("winspy: cannot open the process\n");
        return 1;
    }
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    out += ", \"columns\": [";
    for (int c = 0; c < columns; ++c) out += (c ? ", " : "") + Json(ColumnTitle(r, list, c));
    const int selected =
        static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), MAKELPARAM(LVNI_SELECTED, 0)));
    out += "], \"selected\": " + std::to_string(selected) + ", \"rows\": [";
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < rows; ++i) {
        out += i ? ",\n  [" : "\n  [";
        for (int c = 0; c < (columns > 0 ? columns : 5); ++c) out += (c ? ", " : "") + Json(CellText(r, list, i, c));
        out += "]";
    }
    Out(out + "]}\n");
    return 0;
}

void PrintScreenRect(HWND from, RECT rc) {
    MapWindowPoints(from, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    Out(std::to_string(rc.left) + " " + std::to_string(rc.top) + " " + std::to_string(rc.right) + " " +
        std::to_string(rc.bottom) + "\n");
}

int RowRect(HWND main, int row) {
    HWND list = Control(main, kIdProxyList);
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    Remote r(pid, sizeof(RECT));
    if (!list || !r.ok()) return 1;
    RECT rc{};
    rc.left = LVIR_BOUNDS;
    r.Write(0, &rc, sizeof rc);
    if (!SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(r.mem))) {
        Err("winspy: no row " + std::to_string(row) + "\n");
        return 1;
    }
    r.Read(0, &rc, sizeof rc);
    PrintScreenRect(list, rc);
    return 0;
}

struct TextSearch {
    std::wstring text;
    HWND found;
};

BOOL CALLBACK MatchChildText(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<TextSearch*>(p);
    if (WindowText(w) == s->text) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

int CtrlRect(HWND main, const std::wstring& what) {
    HWND ctrl = nullptr;
    for (const Named& n : kControls)
        if (what == n.name) ctrl = Control(main, n.id);
    if (!ctrl && !what.empty() && what.find_first_not_of(L"0123456789") == std::wstring::npos)
        ctrl = Control(main, std::wcstol(what.c_str(), nullptr, 10));
    if (!ctrl) {
        TextSearch s{what, nullptr};
        EnumChildWindows(main, MatchChildText, reinterpret_cast<LPARAM>(&s));
        ctrl = s.found;
    }
    if (!ctrl) {
        Err("winspy: no such control\n");
        return 1;
    }
    RECT rc{};
    GetClientRect(ctrl, &rc);
    PrintScreenRect(ctrl, rc);
    return 0;
}

struct BoxSearch {
    std::wstring caption;
    DWORD pid;  // 0: any process
    HWND found;
};

BOOL CALLBACK MatchBox(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<BoxSearch*>(p);
    wchar_t cls[32] = {};
    GetClassNameW(w, cls, 32);
    if (std::wstring(cls) != L"#32770" || WindowText(w) != s->caption) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (s->pid && owner != s->pid) return TRUE;
    s->found = w;
    return FALSE;
}

int MsgBox(const std::wstring& title, const std::wstring& caption, bool dismiss, DWORD waitMs) {
    DWORD pid = 0;
    if (HWND main = FindWindowW(nullptr, title.c_str())) GetWindowThreadProcessId(main, &pid);
    HWND box = Retry(waitMs, [&]() -> HWND {
        BoxSearch s{caption, pid, nullptr};
        EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&s));
        return s.found;
    });
    if (!box) {
        Err("winspy: no message box with that caption\n");
        return 1;
    }
    Out(Utf8(WindowText(GetDlgItem(box, 0xFFFF))) + "\n");  // the box's text control
    if (dismiss) {
        HWND ok = GetDlgItem(box, IDOK);
        if (ok)
            SendMessageW(ok, BM_CLICK, 0, 0);
        else
            PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return 0;
}

// How long the UI thread takes to answer: every round trip of a WM_NULL sent to its window.
int Ping(HWND main, DWORD durationMs, DWORD everyMs) {
    // From the moment the window is up: it shows, draws itself a first time and runs its message
    // loop (one WM_NULL, not counted, waits for that); its creation comes before.
    for (int i = 0; i < 6000 && IsWindow(main) && !IsWindowVisible(main); ++i) Sleep(5);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    LARGE_INTEGER freq, start, a, b;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    const auto ms = [&](LARGE_INTEGER from, LARGE_INTEGER to) {
        return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
    };
    int samples = 0, over = 0;
    double worst = 0, total = 0;
    bool gone = false;
    std::string slow;
    int slowCount = 0;
    for (;;) {
        QueryPerformanceCounter(&a);
        if (ms(start, a) >= durationMs) break;
        DWORD_PTR result = 0;
        const LRESULT ok = SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
        QueryPerformanceCounter(&b);
        if (!ok && !IsWindow(main)) {
            gone = true;
            break;
        }
        const double t = ms(a, b);  // a time-out counts as its full 5 s
        ++samples;
        total += t;
        if (t > worst) worst = t;
        if (t > 50.0) ++over;
        if (t > 20.0 && slowCount++ < 20) {
            char item[48];
            std::snprintf(item, sizeof item, "%s[%.0f, %.1f]", slow.empty() ? "" : ", ", ms(start, a), t);
            slow += item;
        }
        Sleep(everyMs);
    }
    char out[200];
    std::snprintf(out, sizeof out,
                  "{\"samples\": %d, \"worst_ms\": %.2f, \"mean_ms\": %.3f, \"over_50ms\": %d, \"gone\": %s", samples,
                  worst, samples ? total / samples : 0.0, over, gone ? "true" : "false");
    Out(std::string(out) + ", \"slow\": [" + slow + "]}\n");
    return 0;
}

int Usage() {
    Err("usage: winspy [--wait MS] [--title TEXT] dump | rowrect N | ctrlrect ID|NAME|TEXT |"
        " msgbox CAPTION [--dismiss] | close | ping MS [EVERY]\n");
    return 2;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argvW = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::wstring> args(argvW + 1, argvW + argc);
    LocalFree(argvW);

    DWORD waitMs = 0;
    std::wstring title = GbkToWide(kMainWindowTitle);
    std::size_t i = 0;
    for (; i < args.size() && args[i].rfind(L"--", 0) == 0; ++i) {
        if (args[i] == L"--wait" && i + 1 < args.size())
            waitMs = std::wcstoul(args[++i].c_str(), nullptr, 10);
        else if (args[i] == L"--title" && i + 1 < args.size())
            title = DecodeArg(args[++i]);
        else
            return Usage();
    }
    if (i >= args.size()) return Usage();
    const std::wstring cmd = args[i++];
    std::vector<std::wstring> rest(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());

    if (cmd == L"msgbox") {
        if (rest.empty()) return Usage();
        const bool dismiss = rest.size() > 1 && rest[1] == L"--dismiss";
        return MsgBox(title, DecodeArg(rest[0]), dismiss, waitMs);
    }

    HWND main = FindMain(title, waitMs);
    if (!main) {
        Err("winspy: main window not found\n");
        return 1;
    }
    if (cmd == L"dump") return Dump(main);
    if (cmd == L"rowrect" && rest.size() == 1) return RowRect(main, std::wcstol(rest[0].c_str(), nullptr, 10));
    if (cmd == L"ctrlrect" && rest.size() == 1) return CtrlRect(main, DecodeArg(rest[0]));
    if (cmd == L"ping" && !rest.empty())
        return Ping(main, std::wcstoul(rest[0].c_str(), nullptr, 10),
                    rest.size() > 1 ? std::wcstoul(rest[1].c_str(), nullptr, 10) : 2);
    if (cmd == L"close") {
        PostMessageW(main, WM_CLOSE, 0, 0);
        return 0;
    }
    return Usage();
}
