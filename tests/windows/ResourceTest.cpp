// The resources of the built exe (its path is the first argument), read back
// as Windows reads them.
#include "app/MessageTables.h"
#include "framework/AfxHandle.h"
#include "ui/StatusLine.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The product no longer owns a window of its own; the dialogs these tests make do.
typedef CUniqueAny<HWND, DestroyWindow> CUniqueWindow;

std::string g_exePath;

class Resources : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_module = LoadLibraryExA(g_exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, m_module) << g_exePath;
    }
    void TearDown() override
    {
        if (m_module)
            FreeLibrary(m_module);
    }

    std::vector<BYTE> Read(LPCWSTR type, WORD id, WORD language) const
    {
        HRSRC found = FindResourceExW(m_module, type, MAKEINTRESOURCEW(id), language);
        if (!found)
            return {};
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(m_module, found)));
        return std::vector<BYTE>(data, data + SizeofResource(m_module, found));
    }

    HMODULE m_module = nullptr;
};

// Reads a dialog template's fields in order.
class TemplateReader {
public:
    explicit TemplateReader(const std::vector<BYTE>& data) : m_data(data) {}
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    short Short() { return static_cast<short>(Take<WORD>()); }
    // A name or ordinal: 0xFFFF and an ordinal, or a NUL-terminated wide text.
    std::wstring Text()
    {
        std::wstring text;
        if (Peek() == 0xFFFF) {
            Word();
            return L"#" + std::to_wstring(Word());
        }
        for (WORD c; (c = Word()) != 0;)
            text += static_cast<wchar_t>(c);
        return text;
    }
    void AlignDword() { m_offset = (m_offset + 3) & ~size_t(3); }

private:
    WORD Peek() const { return m_offset + 2 <= m_data.size() ? *reinterpret_cast<const WORD*>(&m_data[m_offset]) : 0; }
    template <typename T>
    T Take()
    {
        T value = T();
        if (m_offset + sizeof(T) <= m_data.size())
            std::memcpy(&value, &m_data[m_offset], sizeof(T));
        m_offset += sizeof(T);
        return value;
    }

    const std::vector<BYTE>& m_data;
    size_t m_offset = 0;
};

struct ControlRow {
    DWORD id;
    std::wstring className;
    std::wstring text;
    short x, y, cx, cy;
    DWORD style;
    DWORD exStyle;
};

TEST_F(Resources, InstallDialogTemplate)
{
    const std::vector<BYTE> data = Read(reinterpret_cast<LPCWSTR>(RT_DIALOG), 102, 1033);
    ASSERT_FALSE(data.empty());
    TemplateReader t(data);
    EXPECT_EQ(1, t.Word());       // dlgVer
    EXPECT_EQ(0xFFFF, t.Word());  // extended template
    t.Dword();                    // help id
    EXPECT_EQ(static_cast<DWORD>(WS_EX_APPWINDOW), t.Dword());
    EXPECT_EQ(static_cast<DWORD>(DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU),
              t.Dword());
    const WORD count = t.Word();
    ASSERT_EQ(6, count);
    t.Short();
    t.Short();
    EXPECT_EQ(305, t.Short());
    EXPECT_EQ(81, t.Short());
    EXPECT_EQ(L"", t.Text());  // menu
    EXPECT_EQ(L"", t.Text());  // class
    t.Text();                  // the placeholder caption
    EXPECT_EQ(8, t.Word());
    EXPECT_EQ(0, t.Word());     // weight
    EXPECT_EQ(0, t.Word() & 0xFF);  // italic; the high byte is the character set
    EXPECT_EQ(L"MS Shell Dlg", t.Text());

    const ControlRow expected[] = {
        {IDOK, L"#128", L"RETRY", 187, 60, 50, 14,
         WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_TABSTOP | BS_DEFPUSHBUTTON, WS_EX_TRANSPARENT},
        {IDCANCEL, L"#128", L"EXIT", 248, 60, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
         WS_EX_TRANSPARENT},
        // Not one line centred in the height: the long texts wrap.
        {1000, L"#130", L"TIP", 7, 7, 291, 26, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, WS_EX_TRANSPARENT},
        {1001, L"#130", L"????:", 7, 20, 37, 8, WS_CHILD | WS_DISABLED | WS_GROUP | SS_LEFT, 0},
        {1002, L"#130", L"Static", 66, 19, 232, 8, WS_CHILD | WS_DISABLED | WS_GROUP | SS_LEFT, 0},
        {1003, L"msctls_progress32", L"Progress1", 7, 41, 291, 14, WS_CHILD | WS_VISIBLE | WS_BORDER | PBS_SMOOTH,
         WS_EX_TRANSPARENT},
    };
    for (const ControlRow& row : expected) {
        t.AlignDword();
        t.Dword();  // help id
        const DWORD exStyle = t.Dword();
        const DWORD style = t.Dword();
        const short x = t.Short(), y = t.Short(), cx = t.Short(), cy = t.Short();
        const DWORD id = t.Dword();
        const std::wstring className = t.Text();
        const std::wstring text = t.Text();
        const WORD extra = t.Word();
        EXPECT_EQ(row.id, id);
        // Window classes are found whatever the case of their names.
        EXPECT_EQ(0, _wcsicmp(row.className.c_str(), className.c_str())) << row.id;
        EXPECT_EQ(row.text, text) << row.id;
        EXPECT_EQ((std::vector<short>{row.x, row.y, row.cx, row.cy}), (std::vector<short>{x, y, cx, cy})) << row.id;
        EXPECT_EQ(row.style, style) << row.id << std::hex << " style " << style;
        EXPECT_EQ(row.exStyle, exStyle) << row.id;
        EXPECT_EQ(0, extra) << row.id;
    }
}

typedef CUniqueAny<HANDLE, ReleaseActCtx, -1> CUniqueActivationContext;

// The activation context that Windows makes from the exe's manifest.
CUniqueActivationContext ManifestContext()
{
    const std::wstring path(g_exePath.begin(), g_exePath.end());
    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = path.c_str();
    request.lpResourceName = MAKEINTRESOURCEW(1);
    return CUniqueActivationContext(CreateActCtxW(&request));
}

// Makes a context the thread's current one for its lifetime.
class CActivation {
public:
    explicit CActivation(HANDLE context) : m_cookie(0), m_active(ActivateActCtx(context, &m_cookie) != FALSE) {}
    ~CActivation()
    {
        if (m_active)
            DeactivateActCtx(0, m_cookie);
    }
    bool IsActive() const { return m_active; }

private:
    ULONG_PTR m_cookie;
    bool m_active;
};

std::string ModuleFolder(HMODULE module)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(module, path, MAX_PATH);
    return std::string(path).substr(0, std::string(path).find_last_of('\\'));
}

INT_PTR CALLBACK IgnoreEverything(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// The height `text` takes in `control`'s font, wrapped at its width as a
// left-aligned static lays it out.
LONG LaidOutHeight(HWND control, const wchar_t* text)
{
    RECT client;
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    DrawTextW(dc, text, -1, &client, DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS | DT_CALCRECT);
    ReleaseDC(control, dc);
    return client.bottom - client.top;
}

TEST_F(Resources, StatusLineShowsEveryStatusTextWholeInEveryLanguage)
{
    const std::vector<BYTE> data = Read(reinterpret_cast<LPCWSTR>(RT_DIALOG), 102, 1033);
    ASSERT_FALSE(data.empty());
    // The controls the product gets: those of common controls 6, which its
    // manifest names, registered as the product registers them.
    const CUniqueActivationContext context = ManifestContext();
    ASSERT_TRUE(context.IsValid()) << "error " << GetLastError();
    const CActivation activation(context.Get());
    ASSERT_TRUE(activation.IsActive());
    const CUniqueModule controls(LoadLibraryA("comctl32.dll"));
    ASSERT_TRUE(controls.IsValid());
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    ASSERT_NE(0, _stricmp(system, ModuleFolder(controls.Get()).c_str())) << "not the assembly's comctl32";
    typedef BOOL(WINAPI * InitCommonControlsExFn)(const INITCOMMONCONTROLSEX*);
    const auto initialize =
        reinterpret_cast<InitCommonControlsExFn>(GetProcAddress(controls.Get(), "InitCommonControlsEx"));
    const INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_PROGRESS_CLASS};
    ASSERT_TRUE(initialize && initialize(&classes));
    const CUniqueWindow window(CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                                          reinterpret_cast<const DLGTEMPLATE*>(data.data()),
                                                          nullptr, IgnoreEverything, 0));
    ASSERT_TRUE(window.IsValid());
    const HWND dialog = window.Get();
    HWND status = GetDlgItem(dialog, 1000);

    // Drawn at the display's scale that the run asks for (96 DPI when it names
    // none): the dialog's font, and with it every size in dialog units, is
    // 8 points at that DPI, in a TrueType face that has every size.
    const char* dpiText = std::getenv("WINE_DISPLAY_DPI");
    const int dpi = dpiText ? std::atoi(dpiText) : 96;
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(dpi, GetDeviceCaps(screen, LOGPIXELSY)) << "the display's DPI";
    ReleaseDC(nullptr, screen);
    const HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
    LOGFONTW logical = {};
    ASSERT_TRUE(font && GetObjectW(font, sizeof(logical), &logical));
    EXPECT_EQ(-MulDiv(8, dpi, 72), logical.lfHeight) << logical.lfFaceName;
    HDC dc = GetDC(status);
    const HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(status, dc);
    EXPECT_TRUE(metrics.tmPitchAndFamily & TMPF_TRUETYPE) << logical.lfFaceName << " is no TrueType face";
    RECT area;
    GetWindowRect(status, &area);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
    const LONG oneLine = LaidOutHeight(status, L"Retry");

    const MessageSlot statusSlots[] = {MSG_CONNECTING, MSG_SYSTEM_ERROR, MSG_DOWNLOADING, MSG_DOWNLOAD_FAILED,
                                       MSG_VERIFY_FAILED, MSG_INSTALLED, MSG_INSTALLING};
    for (const MessageColumn* column :
         {&g_messagesEnglish, &g_messagesSimplifiedChinese, &g_messagesTraditionalChinese}) {
        for (MessageSlot slot : statusSlots) {
            const wchar_t* text = (*column)[slot];
            ShowStatusText(status, area, text);
            RECT placed;
            GetWindowRect(status, &placed);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed), 2);
            EXPECT_LE(LaidOutHeight(status, text), placed.bottom - placed.top) << "cut: " << slot;
            EXPECT_TRUE(placed.left == area.left && placed.right == area.right && placed.top >= area.top &&
                        placed.bottom <= area.bottom)
                << "outside the template's place: " << slot;
            EXPECT_LE(std::abs((placed.top - area.top) - (area.bottom - placed.bottom)), 1) << "not centred: " << slot;
            if (LaidOutHeight(status, text) == oneLine)
                EXPECT_EQ(oneLine, placed.bottom - placed.top) << "a line of its own: " << slot;
        }
    }
}

TEST_F(Resources, AboutBoxTemplate)
{
    const std::vector<BYTE> data = Read(reinterpret_cast<LPCWSTR>(RT_DIALOG), 100, 1033);
    ASSERT_FALSE(data.empty());
    TemplateReader t(data);
    EXPECT_EQ(1, t.Word());       // dlgVer
    EXPECT_EQ(0xFFFF, t.Word());  // extended template: the shell font style works only there
    t.Dword();                    // help id
    t.Dword();                    // extended style
    EXPECT_EQ(static_cast<DWORD>(DS_SHELLFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU), t.Dword());
    EXPECT_EQ(4, t.Word());
    t.Short();
    t.Short();
    EXPECT_EQ(299, t.Short());
    EXPECT_EQ(65, t.Short());
    EXPECT_EQ(L"", t.Text());
    EXPECT_EQ(L"", t.Text());
    EXPECT_EQ(L"About DA_Razi", t.Text());
    EXPECT_EQ(8, t.Word());
    EXPECT_EQ(0, t.Word());  // weight
    t.Word();                // italic and character set
    EXPECT_EQ(L"MS Shell Dlg", t.Text());
    std::vector<std::wstring> texts;
    for (int i = 0; i < 4; ++i) {
        t.AlignDword();
        t.Dword();  // help id
        t.Dword();  // extended style
        t.Dword();  // style
        for (int j = 0; j < 4; ++j)
            t.Short();
        t.Dword();  // id
        t.Text();   // class
        texts.push_back(t.Text());
        t.Word();  // creation data
    }
    EXPECT_EQ(L"#128", texts[0]);
    EXPECT_EQ(L"DA_Razi 2, 0, 12, 1010", texts[1]);
    EXPECT_EQ(L"OK", texts[3]);
}

TEST_F(Resources, AboutItemTextInSimplifiedChinese)
{
    const std::vector<BYTE> block = Read(reinterpret_cast<LPCWSTR>(RT_STRING), 101 / 16 + 1, 2052);
    ASSERT_FALSE(block.empty());
    const WORD* p = reinterpret_cast<const WORD*>(block.data());
    for (int i = 0; i < 101 % 16; ++i)
        p += 1 + *p;
    EXPECT_EQ(std::wstring(L"\u5173\u4e8e DA_Razi(&A)..."), std::wstring(reinterpret_cast<const wchar_t*>(p + 1), *p));
}

TEST_F(Resources, IconIsOne75By67ImageAt24Bits)
{
    const std::vector<BYTE> group = Read(reinterpret_cast<LPCWSTR>(RT_GROUP_ICON), 128, 2052);
    ASSERT_GE(group.size(), 6u + 14u);
    const WORD* header = reinterpret_cast<const WORD*>(group.data());
    EXPECT_EQ(1, header[2]);  // one image
    const BYTE* entry = group.data() + 6;
    EXPECT_EQ(75, entry[0]);
    EXPECT_EQ(67, entry[1]);
    WORD bitCount = 0;
    std::memcpy(&bitCount, entry + 6, 2);
    EXPECT_EQ(24, bitCount);
}

bool SameGuid(const GUID& a, const GUID& b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

// The application manifest read back as Windows reads it: an activation
// context made from the exe's manifest resource, which fails when the
// manifest is malformed or names an assembly that cannot be found.
TEST_F(Resources, ManifestDeclaresRunLevelWindowsVersionsDpiAndCommonControls)
{
    const CUniqueActivationContext context = ManifestContext();
    ASSERT_TRUE(context.IsValid()) << "error " << GetLastError();
    SIZE_T size = 0;

    // As its invoker: no elevation prompt before the product is found current.
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel = {};
    ASSERT_TRUE(QueryActCtxW(0, context.Get(), nullptr, RunlevelInformationInActivationContext, &runLevel,
                             sizeof(runLevel), &size));
    EXPECT_EQ(ACTCTX_RUN_LEVEL_AS_INVOKER, runLevel.RunLevel);
    EXPECT_EQ(0u, runLevel.UiAccess);

    const GUID supported[] = {
        {0xe2011457, 0x1546, 0x43c5, {0xa5, 0xfe, 0x00, 0x8d, 0xee, 0xe3, 0xd3, 0xf0}},  // Vista
        {0x35138b9a, 0x5d96, 0x4fbd, {0x8e, 0x2d, 0xa2, 0x44, 0x02, 0x25, 0xf9, 0x3a}},  // 7
        {0x4a2f28e3, 0x53b9, 0x4441, {0xba, 0x9c, 0xd6, 0x9d, 0x4a, 0x4a, 0x6e, 0x38}},  // 8
        {0x1f676c76, 0x80e1, 0x4239, {0x95, 0xbb, 0x83, 0xd0, 0xf6, 0xd0, 0xda, 0x78}},  // 8.1
        {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}},  // 10 and 11
    };
    std::vector<BYTE> compatibility(sizeof(DWORD) + 16 * sizeof(COMPATIBILITY_CONTEXT_ELEMENT));
    ASSERT_TRUE(QueryActCtxW(0, context.Get(), nullptr, CompatibilityInformationInActivationContext,
                             compatibility.data(), compatibility.size(), &size));
    // Since Windows 10 1903 each element also holds a 64-bit MaxVersionTested,
    // which moves the elements to offset 8 and makes them 32 bytes long.
    DWORD count = 0;
    std::memcpy(&count, compatibility.data(), sizeof(count));
    const bool tested = size == 8 + 32 * count;
    ASSERT_TRUE(tested || size == sizeof(DWORD) + sizeof(COMPATIBILITY_CONTEXT_ELEMENT) * count) << size;
    const size_t first = tested ? 8 : sizeof(DWORD), stride = tested ? 32 : sizeof(COMPATIBILITY_CONTEXT_ELEMENT);
    std::vector<GUID> systems;
    for (DWORD i = 0; i < count; ++i) {
        COMPATIBILITY_CONTEXT_ELEMENT element;
        std::memcpy(&element, compatibility.data() + first + i * stride, sizeof(element));
        if (element.Type == ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS)
            systems.push_back(element.Id);
    }
    EXPECT_EQ(sizeof(supported) / sizeof(supported[0]), systems.size());
    for (const GUID& system : supported) {
        EXPECT_TRUE(std::any_of(systems.begin(), systems.end(), [&](const GUID& id) { return SameGuid(id, system); }))
            << "a supported Windows is missing: " << std::hex << system.Data1;
    }

    // System-aware on every version; no per-monitor entry, which Windows 10 would read instead.
    wchar_t setting[32] = {};
    ASSERT_TRUE(QueryActCtxSettingsW(0, context.Get(), L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                                     L"dpiAware", setting, sizeof(setting) / sizeof(setting[0]), &size));
    EXPECT_EQ(0, _wcsicmp(L"true", setting)) << setting;
    EXPECT_FALSE(QueryActCtxSettingsW(0, context.Get(), L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                                      L"dpiAwareness", setting, sizeof(setting) / sizeof(setting[0]), &size));

    // Common controls 6, resolved: the second assembly of the context.
    std::vector<BYTE> context_detail(4096);
    ASSERT_TRUE(QueryActCtxW(0, context.Get(), nullptr, ActivationContextDetailedInformation, context_detail.data(),
                             context_detail.size(), &size));
    const auto& detail = *reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(context_detail.data());
    std::vector<std::wstring> dependencies;
    for (DWORD index = 2; index <= detail.ulAssemblyCount; ++index) {
        std::vector<BYTE> buffer(4096);
        ASSERT_TRUE(QueryActCtxW(0, context.Get(), &index, AssemblyDetailedInformationInActivationContext,
                                 buffer.data(), buffer.size(), &size))
            << index;
        const auto* assembly = reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer.data());
        dependencies.push_back(assembly->lpAssemblyEncodedAssemblyIdentity
                                   ? std::wstring(assembly->lpAssemblyEncodedAssemblyIdentity)
                                   : std::wstring());
    }
    ASSERT_EQ(1u, dependencies.size());
    const std::wstring& controls = dependencies[0];
    EXPECT_EQ(0u, controls.find(L"Microsoft.Windows.Common-Controls,")) << controls;
    EXPECT_NE(std::wstring::npos, controls.find(L"version=\"6.")) << controls;
    EXPECT_NE(std::wstring::npos, controls.find(L"publicKeyToken=\"6595b64144ccf1df\"")) << controls;
}

struct VersionCopy {
    WORD language;
    DWORD fileOs;
    const wchar_t* block;
    const wchar_t* description;
    const wchar_t* productName;
    const wchar_t* originalName;
    DWORD translation;
};

TEST_F(Resources, VersionBlockInThreeLanguages)
{
    const VersionCopy copies[] = {
        {1024, VOS_NT_WINDOWS32, L"040904b0", L"RAvi driver online installer for ZELK",
         L"RAvi driver online installer for ZELK", L"DA_Razi.exe", MAKELONG(0x0409, 1200)},
        {1033, VOS__WINDOWS32, L"080904b0", L"RAvi driver online installer of Bank for ZELK",
         L"RAvi driver online installer for ZELK", L"DA_Razi.EXE", MAKELONG(0x0809, 1200)},
        {2052, VOS_NT_WINDOWS32, L"080404b0", L"ZELKUSBKey\u9a71\u52a8\u81ea\u52a8\u5b89\u88c5\u7a0b\u5e8f",
         L"ZELKUSBKey\u9a71\u52a8\u81ea\u52a8\u5b89\u88c5\u7a0b\u5e8f", L"DA_Razi.exe", MAKELONG(0x0804, 1200)},
    };
    for (const VersionCopy& copy : copies) {
        std::vector<BYTE> data = Read(reinterpret_cast<LPCWSTR>(RT_VERSION), 1, copy.language);
        ASSERT_FALSE(data.empty()) << copy.language;
        data.resize(data.size() * 2);  // room that the version functions may use
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT size = 0;
        ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
        EXPECT_EQ(MAKELONG(4, 1), fixed->dwFileVersionMS);
        EXPECT_EQ(MAKELONG(815, 14), fixed->dwFileVersionLS);
        EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
        EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
        EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
        EXPECT_EQ(0u, fixed->dwFileFlags);
        EXPECT_EQ(copy.fileOs, fixed->dwFileOS) << copy.language;
        EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

        auto value = [&](const wchar_t* name) {
            const std::wstring path = std::wstring(L"\\StringFileInfo\\") + copy.block + L"\\" + name;
            wchar_t* text = nullptr;
            UINT length = 0;
            if (!VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) || !text)
                return std::wstring(L"(missing)");
            return std::wstring(text);
        };
        EXPECT_EQ(L"ZELK", value(L"CompanyName")) << copy.language;
        EXPECT_EQ(copy.description, value(L"FileDescription")) << copy.language;
        EXPECT_EQ(copy.productName, value(L"ProductName")) << copy.language;
        EXPECT_EQ(copy.productName, value(L"InternalName")) << copy.language;
        EXPECT_EQ(L"1, 4, 14, 815", value(L"FileVersion")) << copy.language;
        EXPECT_EQ(L"1, 4, 14, 815", value(L"ProductVersion")) << copy.language;
        EXPECT_EQ(copy.originalName, value(L"OriginalFilename")) << copy.language;
        for (const wchar_t* empty : {L"Comments", L"LegalTrademarks", L"PrivateBuild", L"SpecialBuild"})
            EXPECT_EQ(L"", value(empty)) << copy.language;
        EXPECT_NE(L"(missing)", value(L"LegalCopyright"));

        DWORD* translation = nullptr;
        ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                                   &size));
        EXPECT_EQ(copy.translation, *translation) << copy.language;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: resource_tests PATH-TO-EXE\n");
        return 2;
    }
    g_exePath = argv[1];
    return RUN_ALL_TESTS();
}
