// Drives the installer's windows the way a user would, from another process
// in the same Wine prefix, and prints what a user would see, in UTF-8:
//
//   uidriver wait MS          the first window of the installer, once it shows
//   uidriver list             every window of the installer, now
//   uidriver quiet MS         exit 0 when no window shows for MS ms or until the
//                             installer has ended, whichever comes first
//   uidriver press ID MS      wait for a window, print it, then press its
//                             control ID as a click would
//   uidriver close MS         wait for a window, print it, then close it
//   uidriver send MSG WPARAM MS   wait for a window, send it MSG and print "result N"
//   uidriver post MSG WPARAM MS   the same, posted, for messages that run a modal loop
//   uidriver hammer ID ROUNDS MS  ROUNDS times: once control ID is enabled,
//                             two clicks at once (one queued behind the other),
//                             then one more while the work they started runs;
//                             prints how many clicks found it enabled. MS
//                             bounds each wait
//   uidriver key VK MS        wait for a window, print it, then send the key VK
//                             (a virtual-key code) to the control with the focus
//                             as a keystroke would
//   uidriver listen MS        print "listening" once hooked, then "live <id>
//                             <object> <child> <text>" for each live-region
//                             event an installer window raises, with the control's
//                             text when the event arrives; ends when the installer
//                             it saw has ended, or after MS ms
//   uidriver shot FILE.bmp    the screen as a 24-bit bitmap file
//
// With UIDRIVER_WINDOW set, only windows with that caption (UTF-8) count.
//
// A wait that runs out prints "timeout awaiting <what>; last seen <what was>"
// and fails.
//
// A window is printed as lines: "window", "handle <decimal>", "caption <text>", "topmost 0|1",
// "icon <name>", "focus <id>|dialog|none" (the control with the keyboard focus in
// the window's thread), "default <id>" (the button that Enter presses), then one "control <id> <class> <visible> <enabled> <text>"
// per child ("progress <id> <position>" too for a progress bar), and "end".
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kInstallerImage[] = "DA_Razi.exe";

std::string Utf8(const wchar_t* text)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1)
        return std::string();
    std::string utf8(static_cast<size_t>(length - 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &utf8[0], length, nullptr, nullptr);
    return utf8;
}

std::string WindowText(HWND window)
{
    std::vector<wchar_t> text(static_cast<size_t>(GetWindowTextLengthW(window)) + 2);
    GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    return Utf8(text.data());
}

void Print(const std::string& line)
{
    const std::string withEnd = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), withEnd.data(), static_cast<DWORD>(withEnd.size()), &written, nullptr);
}

std::vector<DWORD> InstallerProcesses()
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, kInstallerImage) == 0)
            ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

struct WindowSearch {
    std::vector<DWORD> processes;
    const char* caption;  // only windows with this caption; null for all
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[64] = {};
    GetClassNameA(window, className, sizeof(className));
    if (IsWindowVisible(window) && std::strcmp(className, "#32770") == 0 &&
        (!search->caption || WindowText(window) == search->caption)) {
        for (DWORD id : search->processes) {
            if (id == process)
                search->windows.push_back(window);
        }
    }
    return TRUE;
}

std::vector<HWND> InstallerWindows(const char* caption = std::getenv("UIDRIVER_WINDOW"))
{
    WindowSearch search;
    search.processes = InstallerProcesses();
    search.caption = caption;
    if (!search.processes.empty())
        EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

const int kIconSize = 32;

// A 32 x 32 bitmap to draw on and read back.
class CPixels {
public:
    CPixels() : m_dc(CreateCompatibleDC(nullptr)), m_bitmap(nullptr), m_bits(nullptr), m_old(nullptr)
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = kIconSize;
        info.bmiHeader.biHeight = -kIconSize;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        m_bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&m_bits), nullptr, 0);
        m_old = SelectObject(m_dc, m_bitmap);
    }
    ~CPixels()
    {
        SelectObject(m_dc, m_old);
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    HDC Dc() const { return m_dc; }
    std::vector<DWORD> Read() const
    {
        GdiFlush();
        if (!m_bits)
            return std::vector<DWORD>();
        std::vector<DWORD> pixels(m_bits, m_bits + kIconSize * kIconSize);
        for (DWORD& pixel : pixels)
            pixel &= 0x00FFFFFF;
        return pixels;
    }

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    DWORD* m_bits;
    HGDIOBJ m_old;
};

// Tells a message box's icon by what the screen shows: icon handles belong
// to their process, so the shown pixels are compared with each system icon
// drawn here on the same background.
HWND IconControl(HWND window)
{
    // Windows keeps a message box's icon in control 0x14, Wine in stc1 (0x440).
    HWND iconControl = GetDlgItem(window, 0x14);
    if (!iconControl)
        iconControl = GetDlgItem(window, 0x440);
    return iconControl && IsWindowVisible(iconControl) ? iconControl : nullptr;
}

const char* IconName(HWND window)
{
    HWND iconControl = IconControl(window);
    if (!iconControl)
        return "none";
    POINT origin = {0, 0};
    ClientToScreen(iconControl, &origin);
    CPixels shown;
    HDC screen = GetDC(nullptr);
    BitBlt(shown.Dc(), 0, 0, kIconSize, kIconSize, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
    const std::vector<DWORD> shownPixels = shown.Read();
    const COLORREF background = GetPixel(shown.Dc(), 0, 0);

    const struct {
        LPCSTR id;
        const char* name;
    } known[] = {{IDI_QUESTION, "question"}, {IDI_ERROR, "error"}, {IDI_WARNING, "warning"}, {IDI_INFORMATION, "information"}};
    for (const auto& k : known) {
        CPixels drawn;
        HBRUSH brush = CreateSolidBrush(background);
        RECT all = {0, 0, kIconSize, kIconSize};
        FillRect(drawn.Dc(), &all, brush);
        DeleteObject(brush);
        DrawIconEx(drawn.Dc(), 0, 0, LoadIconA(nullptr, k.id), kIconSize, kIconSize, 0, nullptr, DI_NORMAL);
        if (drawn.Read() == shownPixels)
            return k.name;
    }
    return "other";
}

BOOL CALLBACK PrintControl(HWND control, LPARAM)
{
    char className[64] = {};
    GetClassNameA(control, className, sizeof(className));
    char line[160];
    std::snprintf(line, sizeof(line), "control %d %s %d %d ", GetDlgCtrlID(control), className,
                  IsWindowVisible(control) ? 1 : 0, IsWindowEnabled(control) ? 1 : 0);
    Print(line + WindowText(control));
    if (std::strcmp(className, "msctls_progress32") == 0) {
        std::snprintf(line, sizeof(line), "progress %d %d", GetDlgCtrlID(control),
                      static_cast<int>(SendMessageW(control, PBM_GETPOS, 0, 0)));
        Print(line);
    }
    return TRUE;
}

std::string RectText(const RECT& rect)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%ld %ld %ld %ld", static_cast<long>(rect.left), static_cast<long>(rect.top),
                  static_cast<long>(rect.right), static_cast<long>(rect.bottom));
    return text;
}

// The keyboard focus of the thread that runs `window`, as GetGUIThreadInfo
// tells another process.
HWND FocusOf(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

void PrintWindow(HWND window)
{
    Print("window");
    Print("handle " + std::to_string(reinterpret_cast<uintptr_t>(window)));
    Print("caption " + WindowText(window));
    Print(std::string("topmost ") + ((GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? "1" : "0"));
    Print(std::string("enabled ") + (IsWindowEnabled(window) ? "1" : "0"));
    RECT rect;
    GetWindowRect(window, &rect);
    Print("rect " + RectText(rect));
    HWND owner = GetWindow(window, GW_OWNER);
    Print(owner ? "owner " + WindowText(owner) : std::string("owner none"));
    Print(std::string("icon ") + IconName(window));
    const HWND focus = FocusOf(window);
    Print("focus " + (!focus ? std::string("none") : focus == window ? std::string("dialog")
                                                                      : std::to_string(GetDlgCtrlID(focus))));
    DWORD_PTR defaultId = 0;
    SendMessageTimeoutW(window, DM_GETDEFID, 0, 0, SMTO_NORMAL, 5000, &defaultId);
    Print("default " + std::to_string(HIWORD(defaultId) == DC_HASDEFID ? LOWORD(defaultId) : 0));
    EnumChildWindows(window, PrintControl, 0);
    Print("end");
}

// Asks done() every 50 ms until it holds or timeoutMs have passed.
template <typename Condition>
bool WaitUntil(DWORD timeoutMs, Condition done)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(50);
    }
}

int TimedOut(const std::string& awaited, const std::string& lastSeen)
{
    Print("timeout awaiting " + awaited + "; last seen " + lastSeen);
    return 1;
}

// What the installer shows, whatever the caption asked for.
std::string InstallerScreen()
{
    std::string seen = std::to_string(InstallerProcesses().size()) + " installer process(es), windows:";
    for (HWND window : InstallerWindows(nullptr))
        seen += " \"" + WindowText(window) + "\"";
    return seen;
}

HWND WaitForWindow(DWORD timeoutMs)
{
    HWND window = nullptr;
    const bool shown = WaitUntil(timeoutMs, [&window] {
        const std::vector<HWND> windows = InstallerWindows();
        window = windows.empty() ? nullptr : windows.front();
        return window != nullptr;
    });
    if (!shown) {
        const char* caption = std::getenv("UIDRIVER_WINDOW");
        const std::string captioned = caption ? std::string(" captioned \"") + caption + "\"" : std::string();
        TimedOut("a window of the installer" + captioned, InstallerScreen());
    }
    return window;
}

// How long a painted message box may take to show a known icon.
const DWORD kIconShowMs = 5000;

// A window is read once its thread has finished creating it (it answers a
// message, so its WM_INITDIALOG has returned) and it and its icon are
// painted: the icon is told by its pixels on screen.
bool WaitUntilReadable(HWND window, DWORD timeoutMs)
{
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &ignored)) {
        TimedOut("the window to answer a message", "error " + std::to_string(GetLastError()));
        return false;
    }
    HWND icon = IconControl(window);
    const auto unpainted = [window, icon] {
        return GetUpdateRect(window, nullptr, FALSE) || (icon && GetUpdateRect(icon, nullptr, FALSE));
    };
    if (!WaitUntil(timeoutMs, [&unpainted] { return !unpainted(); })) {
        TimedOut("the window and its icon to be painted",
                 !IsWindow(window) ? "the window gone"
                 : GetUpdateRect(window, nullptr, FALSE) ? "the window unpainted"
                                                         : "its icon unpainted");
        return false;
    }
    // Painted is not yet shown: under load the display shows the icon's
    // pixels a moment later. A box whose icon stays unknown is printed so.
    if (icon)
        WaitUntil(kIconShowMs, [window] { return std::strcmp(IconName(window), "other") != 0; });
    return true;
}

int Wait(DWORD timeoutMs, int pressId, bool close)
{
    HWND window = WaitForWindow(timeoutMs);
    if (!window || !WaitUntilReadable(window, timeoutMs))
        return 1;
    PrintWindow(window);
    if (pressId >= 0) {
        HWND button = GetDlgItem(window, pressId);
        if (!button) {
            Print("no such control");
            return 2;
        }
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(pressId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    }
    if (close)
        PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
}

// Posted as the keyboard driver would: the dialog's message loop hands
// WM_KEYDOWN to IsDialogMessage, which runs the dialog's keyboard interface.
int Key(UINT key, DWORD timeoutMs)
{
    HWND window = WaitForWindow(timeoutMs);
    if (!window || !WaitUntilReadable(window, timeoutMs))
        return 1;
    PrintWindow(window);
    HWND focus = FocusOf(window);
    if (!focus) {
        Print("no focus");
        return 2;
    }
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(focus, WM_KEYDOWN, key, scan | 1);
    PostMessageW(focus, WM_KEYUP, key, scan | 1 | (1u << 30) | (1u << 31));
    return 0;
}

void CALLBACK OnLiveRegion(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    for (DWORD id : InstallerProcesses()) {
        if (id == process) {
            Print("live " + std::to_string(GetDlgCtrlID(window)) + " " + std::to_string(object) + " " +
                  std::to_string(child) + " " + WindowText(window));
            return;
        }
    }
}

// Out of context, as a screen reader listens: the events come through this
// thread's message queue.
int Listen(DWORD timeoutMs)
{
    const HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_LIVEREGIONCHANGED, EVENT_OBJECT_LIVEREGIONCHANGED,
                                               nullptr, OnLiveRegion, 0, 0, WINEVENT_OUTOFCONTEXT);
    if (!hook)
        return TimedOut("a WinEvent hook", "error " + std::to_string(GetLastError()));
    Print("listening");
    bool seen = false;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        const bool running = !InstallerProcesses().empty();
        if (seen && !running)
            break;
        seen = seen || running;
    }
    UnhookWinEvent(hook);
    if (!seen)
        return TimedOut("an installer to listen to", "none ran");
    if (!InstallerProcesses().empty())
        return TimedOut("the installer's end", "it still runs");
    Print("ended");
    return 0;
}

int Deliver(DWORD timeoutMs, UINT message, WPARAM wParam, bool post)
{
    HWND window = WaitForWindow(timeoutMs);
    if (!window)
        return 1;
    if (post)
        return PostMessageW(window, message, wParam, 0) ? 0 : 1;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, 0, SMTO_NORMAL, 10000, &result)) {
        Print("no answer");
        return 1;
    }
    char line[64];
    std::snprintf(line, sizeof(line), "result %lu", static_cast<unsigned long>(result));
    Print(line);
    return 0;
}

int Hammer(int id, int rounds, DWORD timeoutMs)
{
    HWND window = WaitForWindow(timeoutMs);
    if (!window)
        return 1;
    HWND button = GetDlgItem(window, id);
    const LPARAM clicked = reinterpret_cast<LPARAM>(button);
    int posted = 0;
    int enabled = 0;
    const auto click = [&](bool send) {
        enabled += IsWindowEnabled(button) ? 1 : 0;
        ++posted;
        DWORD_PTR ignored = 0;
        if (send)
            return SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), clicked, SMTO_NORMAL,
                                       timeoutMs, &ignored) != 0;
        return PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), clicked) != FALSE;
    };
    for (int round = 0; round < rounds; ++round) {
        if (!WaitUntil(timeoutMs, [button] { return IsWindowEnabled(button) != FALSE; }))
            return TimedOut("control " + std::to_string(id) + " to be enabled for round " + std::to_string(round + 1),
                            IsWindow(button) ? "disabled" : "the window gone");
        // One click queued, and one sent: a sent message is handled before
        // any posted one, so when the send returns one of the two has been
        // handled and the other may still be queued behind it.
        if (!click(false) || !click(true))
            return TimedOut("the window to take a click", "error " + std::to_string(GetLastError()));
        // And one more while the work that they started runs.
        click(false);
    }
    char line[64];
    std::snprintf(line, sizeof(line), "posted %d enabled %d", posted, enabled);
    Print(line);
    return 0;
}

int Screenshot(const char* file)
{
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    const int rowSize = (width * 3 + 3) / 4 * 4;
    std::vector<BYTE> pixels(static_cast<size_t>(rowSize) * height);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42;
    fileHeader.bfOffBits = sizeof(fileHeader) + sizeof(header);
    fileHeader.bfSize = fileHeader.bfOffBits + static_cast<DWORD>(pixels.size());
    std::FILE* out = std::fopen(file, "wb");
    if (!out)
        return 1;
    std::fwrite(&fileHeader, sizeof(fileHeader), 1, out);
    std::fwrite(&header, sizeof(header), 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    std::fclose(out);
    return 0;
}

int Quiet(DWORD timeoutMs)
{
    HWND shown = nullptr;
    const bool happened = WaitUntil(timeoutMs, [&shown] {
        const std::vector<HWND> windows = InstallerWindows();
        shown = windows.empty() ? nullptr : windows.front();
        return shown || InstallerProcesses().empty();
    });
    if (!happened) {
        Print("quiet");
        return 0;
    }
    if (shown) {
        PrintWindow(shown);
        return 1;
    }
    Print("ended");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    const DWORD timeout = static_cast<DWORD>(std::strtoul(argc > 2 ? argv[argc - 1] : "0", nullptr, 10));
    if (command == "wait" && argc == 3)
        return Wait(timeout, -1, false);
    if (command == "press" && argc == 4)
        return Wait(timeout, std::atoi(argv[2]), false);
    if (command == "close" && argc == 3)
        return Wait(timeout, -1, true);
    if (command == "quiet" && argc == 3)
        return Quiet(timeout);
    if ((command == "send" || command == "post") && argc == 5)
        return Deliver(timeout, static_cast<UINT>(std::strtoul(argv[2], nullptr, 0)),
                       static_cast<WPARAM>(std::strtoul(argv[3], nullptr, 0)), command == "post");
    if (command == "hammer" && argc == 5)
        return Hammer(std::atoi(argv[2]), std::atoi(argv[3]), timeout);
    if (command == "key" && argc == 4)
        return Key(static_cast<UINT>(std::strtoul(argv[2], nullptr, 0)), timeout);
    if (command == "listen" && argc == 3)
        return Listen(timeout);
    if (command == "shot" && argc == 3)
        return Screenshot(argv[2]);
    if (command == "list" && argc == 2) {
        RECT workArea;
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);
        Print("workarea " + RectText(workArea));
        // In the order of the windows on screen, the topmost first.
        for (HWND window : InstallerWindows())
            PrintWindow(window);
        return 0;
    }
    std::fprintf(stderr, "usage: uidriver wait MS | list | quiet MS | press ID MS | close MS | send MSG WPARAM MS"
                         " | post MSG WPARAM MS | hammer ID ROUNDS MS | key VK MS | listen MS | shot FILE\n");
    return 2;
}
