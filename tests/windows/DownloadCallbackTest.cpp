#include "install/DownloadLimits.h"
#include "install/DownloadCallback.h"
#include "tests/windows/WholeFile.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <functional>
#include <string>

namespace {

class DownloadCallback : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        m_bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 100, 10, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_bar);
        SendMessageA(m_bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        g_bCancel = 0;
    }
    void TearDown() override
    {
        DestroyWindow(m_bar);
        g_bCancel = 0;
    }
    int Position() const { return static_cast<int>(SendMessageA(m_bar, PBM_GETPOS, 0, 0)); }
    CUniqueInterface<CDownloadCallback> NewCallback() const
    {
        CUniqueInterface<CDownloadCallback> callback = CDownloadCallback::Create(m_bar);
        EXPECT_TRUE(callback.IsValid());
        return callback;
    }

    HWND m_bar = nullptr;
};

TEST_F(DownloadCallback, MovesTheBarUntilCancelled)
{
    const CUniqueInterface<CDownloadCallback> owner = NewCallback();
    CDownloadCallback& callback = *owner.Get();
    EXPECT_EQ(S_OK, callback.OnProgress(1, 3, 0, nullptr));
    EXPECT_EQ(33, Position());
    EXPECT_EQ(S_OK, callback.OnProgress(7, 3, 0, nullptr));
    EXPECT_EQ(100, Position()) << "the bar clamps what is above its range";
    EXPECT_EQ(S_OK, callback.OnProgress(5, 0, 0, nullptr));
    EXPECT_EQ(0, Position());

    InterlockedExchange(&g_bCancel, 1);
    EXPECT_EQ(E_ABORT, callback.OnProgress(2, 3, 0, nullptr));
    EXPECT_EQ(0, Position()) << "an aborted report does not move the bar";
}

TEST_F(DownloadCallback, ProvidesOnlyItsOwnInterfacesAndAsksToPullWithoutACacheCopy)
{
    const CUniqueInterface<CDownloadCallback> owner = NewCallback();
    CDownloadCallback& callback = *owner.Get();
    void* object = nullptr;
    EXPECT_EQ(S_OK, callback.QueryInterface(IID_IUnknown, &object));
    EXPECT_EQ(static_cast<IBindStatusCallback*>(&callback), object);
    object = nullptr;
    EXPECT_EQ(S_OK, callback.QueryInterface(IID_IBindStatusCallback, &object));
    EXPECT_EQ(static_cast<IBindStatusCallback*>(&callback), object);
    object = nullptr;
    EXPECT_EQ(S_OK, callback.QueryInterface(IID_IHttpNegotiate, &object));
    EXPECT_EQ(static_cast<IHttpNegotiate*>(&callback), object);
    LPWSTR headers = reinterpret_cast<LPWSTR>(&callback);
    EXPECT_EQ(S_OK, callback.BeginningTransaction(L"https://localhost/", L"", 0, &headers));
    EXPECT_EQ(nullptr, headers) << "a whole file asks for no range";
    // Only a plain 200 is taken; anything else ends the binding unread.
    const struct {
        DWORD status;
        HRESULT answer;
        DownloadEnd end;
    } answers[] = {
        {200, S_OK, END_COMPLETE},
        {404, E_ABORT, END_REFUSED},
        {206, E_ABORT, END_REFUSED},
        {416, E_ABORT, END_REFUSED},
    };
    for (const auto& a : answers) {
        const CUniqueInterface<CDownloadCallback> answered = NewCallback();
        headers = reinterpret_cast<LPWSTR>(&callback);
        EXPECT_EQ(a.answer, answered.Get()->OnResponse(a.status, L"HTTP/1.1 x\r\nContent-Range: bytes 0-1/2\r\n",
                                                       L"", &headers)) << a.status;
        EXPECT_EQ(nullptr, headers) << "no headers added";
        EXPECT_EQ(a.status, answered.Get()->HttpStatus());
        EXPECT_EQ(a.end, answered.Get()->End()) << a.status;
    }
    for (const IID* other : {&IID_IHttpNegotiate2, &IID_IServiceProvider, &IID_IBinding}) {
        object = &callback;
        EXPECT_EQ(E_NOINTERFACE, callback.QueryInterface(*other, &object));
        EXPECT_EQ(nullptr, object) << "what is not provided leaves a null pointer";
    }
    EXPECT_EQ(5u, callback.AddRef()) << "the owner's reference and one for each interface handed out";
    for (ULONG left = 4; left >= 1; --left)
        EXPECT_EQ(left, callback.Release());
    EXPECT_EQ(E_INVALIDARG, callback.OnStartBinding(0, nullptr));

    // Asked twice, as a binding may: the same answer, over what was there.
    for (int ask = 0; ask < 2; ++ask) {
        BINDINFO info;
        FillMemory(&info, sizeof(info), 0xA5);
        info.cbSize = sizeof(info);
        DWORD flags = 0;
        ASSERT_EQ(S_OK, callback.GetBindInfo(&flags, &info));
        // GETNEWESTVERSION: a copy in the cache is never taken for the answer.
        const DWORD wanted = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_NOWRITECACHE |
                             BINDF_GETNEWESTVERSION;
        EXPECT_EQ(wanted, flags & wanted) << std::hex << flags;
        EXPECT_EQ(sizeof(info), info.cbSize);
        EXPECT_EQ(nullptr, info.szExtraInfo);
        EXPECT_EQ(static_cast<DWORD>(BINDVERB_GET), info.dwBindVerb);
    }
}

// A binding that counts its references and aborts; `onAbort`, if given, runs inside Abort.
class CountingBinding : public IBinding {
public:
    STDMETHOD(QueryInterface)(REFIID, void**) override { return E_NOINTERFACE; }
    STDMETHOD_(ULONG, AddRef)() override { return ++references; }
    STDMETHOD_(ULONG, Release)() override { return --references; }
    STDMETHOD(Abort)() override
    {
        ++aborts;
        if (stopsOnAbort) {
            stopsOnAbort->OnStopBinding(E_ABORT, nullptr);
            referencesAfterStop = references;
        }
        return S_OK;
    }
    STDMETHOD(Suspend)() override { return E_NOTIMPL; }
    STDMETHOD(Resume)() override { return E_NOTIMPL; }
    STDMETHOD(SetPriority)(LONG) override { return E_NOTIMPL; }
    STDMETHOD(GetPriority)(LONG*) override { return E_NOTIMPL; }
    STDMETHOD(GetBindResult)(CLSID*, DWORD*, LPOLESTR*, DWORD*) override { return E_NOTIMPL; }

    ULONG references = 1;
    int aborts = 0;
    IBindStatusCallback* stopsOnAbort = nullptr;  // stops the binding from inside Abort, as a binding may
    ULONG referencesAfterStop = 0;
};

TEST_F(DownloadCallback, AbortsTheBindingOnceAfterTheSilenceLimitAndWaitsForItsStopWithABound)
{
    const DWORD limit = kDownloadSilenceLimitMs;
    CountingBinding binding;
    {
        const CUniqueInterface<CDownloadCallback> owner = NewCallback();
    CDownloadCallback& callback = *owner.Get();
        EXPECT_EQ(S_OK, callback.OnStartBinding(0, &binding));
        EXPECT_EQ(2u, binding.references) << "the callback keeps the binding";
        const DWORD reported = GetTickCount();
        EXPECT_EQ(S_OK, callback.OnProgress(1, 3, 0, nullptr));
        EXPECT_TRUE(callback.KeepWaiting(reported + limit / 2));
        EXPECT_EQ(0, binding.aborts) << "not silent for long enough";
        EXPECT_TRUE(callback.KeepWaiting(reported + limit * 2)) << "the aborted binding's stop is awaited";
        EXPECT_TRUE(callback.KeepWaiting(reported + limit * 2 + limit / 2));
        EXPECT_EQ(1, binding.aborts);
        EXPECT_FALSE(callback.KeepWaiting(reported + limit * 3)) << "an abort that never stops is not awaited forever";
        EXPECT_EQ(1, binding.aborts);
        EXPECT_EQ(S_OK, callback.OnStopBinding(E_ABORT, nullptr));
        EXPECT_EQ(1u, binding.references) << "the binding is let go when it stops";
    }
    {
        const CUniqueInterface<CDownloadCallback> owner = NewCallback();
    CDownloadCallback& callback = *owner.Get();
        callback.OnStartBinding(0, &binding);
        callback.OnStopBinding(S_OK, nullptr);
        EXPECT_FALSE(callback.KeepWaiting(GetTickCount())) << "a stopped binding is not waited for";
        EXPECT_FALSE(callback.KeepWaiting(GetTickCount() + limit * 2));
        EXPECT_EQ(1, binding.aborts) << "a stopped binding is not aborted";
    }
    {
        const CUniqueInterface<CDownloadCallback> owner = NewCallback();
    CDownloadCallback& callback = *owner.Get();
        EXPECT_FALSE(callback.KeepWaiting(GetTickCount() + limit * 2)) << "nothing started, nothing to wait for";
    }
    {
        const CUniqueInterface<CDownloadCallback> owner = NewCallback();
    CDownloadCallback& callback = *owner.Get();
        callback.OnStartBinding(0, &binding);
        EXPECT_TRUE(callback.KeepWaiting(GetTickCount()));
        InterlockedExchange(&g_bCancel, 1);
        EXPECT_TRUE(callback.KeepWaiting(GetTickCount()));
        EXPECT_EQ(2, binding.aborts) << "Exit aborts at once, silent or not";
    }
    EXPECT_EQ(1u, binding.references) << "a binding that never stopped is let go with the callback";
}

TEST_F(DownloadCallback, LivesWhileTheBindingHoldsItAfterItsOwnerHasGone)
{
    CUniqueInterface<CDownloadCallback> owner = NewCallback();
    IBindStatusCallback* heldByBinding = nullptr;
    ASSERT_EQ(S_OK, owner.Get()->QueryInterface(IID_IBindStatusCallback, reinterpret_cast<void**>(&heldByBinding)));
    owner.Reset();
    // A late notification after Download has returned, as a binding may send.
    EXPECT_EQ(S_OK, heldByBinding->OnProgress(1, 2, 0, nullptr));
    EXPECT_EQ(50, Position());
    EXPECT_EQ(S_OK, heldByBinding->OnStopBinding(E_ABORT, nullptr));
    EXPECT_EQ(0u, heldByBinding->Release()) << "the last reference frees it";
}

TEST_F(DownloadCallback, HoldsTheBindingWhileAbortStopsIt)
{
    CountingBinding binding;
    const CUniqueInterface<CDownloadCallback> owner = NewCallback();
    CDownloadCallback& callback = *owner.Get();
    binding.stopsOnAbort = &callback;
    callback.OnStartBinding(0, &binding);
    EXPECT_FALSE(callback.KeepWaiting(GetTickCount() + kDownloadSilenceLimitMs * 2)) << "stopped by the abort";
    EXPECT_EQ(1, binding.aborts);
    EXPECT_EQ(2u, binding.referencesAfterStop) << "the stored reference went with the stop, the held one stays";
    EXPECT_EQ(1u, binding.references);
}

// The tick count once it has moved past `tick`, waited for with a bound.
DWORD TickAfter(DWORD tick)
{
    for (int look = 0; look < 10000 && GetTickCount() == tick; ++look)
        Sleep(1);
    return GetTickCount();
}

TEST_F(DownloadCallback, ProgressFeedsTheSilenceClockAndExitIsNeverTakenForSilence)
{
    const DWORD limit = kDownloadSilenceLimitMs;
    CountingBinding binding;
    {
        const CUniqueInterface<CDownloadCallback> owner = NewCallback();
        CDownloadCallback& callback = *owner.Get();
        callback.OnStartBinding(0, &binding);
        const DWORD created = GetTickCount();
        ASSERT_NE(created, TickAfter(created));
        callback.OnProgress(1, 3, 0, nullptr);
        EXPECT_TRUE(callback.KeepWaiting(created + limit)) << "silent since its start, but not since the report";
        EXPECT_EQ(0, binding.aborts);
    }
    // Exit that comes while the download is silent is reported as Exit.
    for (const LONG cancel : {0, 1}) {
        InterlockedExchange(&g_bCancel, cancel);
        const CUniqueInterface<CDownloadCallback> owner = NewCallback();
        CDownloadCallback& callback = *owner.Get();
        callback.OnStartBinding(0, &binding);
        callback.KeepWaiting(GetTickCount() + limit * 2);
        EXPECT_EQ(cancel == 0, callback.EndedBySilence()) << "cancel " << cancel;
    }
    EXPECT_EQ(2, binding.aborts);
}

// Runs once, from inside the first progress report of a real download: on
// the download's own thread, while the callback is writing the file.
std::function<void()> g_midDownload;
WNDPROC g_barProc = nullptr;

LRESULT CALLBACK HookedBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == PBM_SETPOS && g_midDownload) {
        const std::function<void()> run = std::move(g_midDownload);
        g_midDownload = nullptr;
        run();
    }
    return CallWindowProcA(g_barProc, window, message, wParam, lParam);
}

// Offers `bytes` as arriving data in a medium of type `tymed`; how far the
// callback read them.
ULONGLONG Offer(CDownloadCallback& callback, const std::string& bytes, DWORD tymed = TYMED_ISTREAM)
{
    const CUniqueInterface<IStream> stream(
        SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
    if (!stream.IsValid()) {
        ADD_FAILURE() << "no memory stream";
        return 0;
    }
    STGMEDIUM medium = {};
    medium.tymed = tymed;
    medium.pstm = stream.Get();
    FORMATETC format = {0, nullptr, DVASPECT_CONTENT, -1, tymed};
    EXPECT_EQ(S_OK, callback.OnDataAvailable(BSCF_INTERMEDIATEDATANOTIFICATION, static_cast<DWORD>(bytes.size()),
                                             &format, &medium));
    LARGE_INTEGER zero = {};
    ULARGE_INTEGER position = {};
    stream.Get()->Seek(zero, STREAM_SEEK_CUR, &position);
    return position.QuadPart;
}

// The whole road on this thread, from a local file: what arrives is written
// once, whole, over whatever stood at the name, and what cannot be fetched or
// written fails with its own error.
TEST_F(DownloadCallback, DownloadsIntoTheFileOrFails)
{
    const CComApartment apartment;
    wchar_t folder[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring source = std::wstring(folder) + L"download-source.bin";
    const std::wstring emptySource = std::wstring(folder) + L"download-empty.bin";
    const std::wstring shortSource = std::wstring(folder) + L"download-short.bin";
    const std::wstring target = std::wstring(folder) + L"download-target.bin";
    std::string bytes;
    for (int i = 0; i < 300000; ++i)
        bytes += static_cast<char>(i * 7 + i / 251);
    const std::string nothing, shortBytes = "short";
    WriteWholeFile(source, bytes);
    WriteWholeFile(emptySource, nothing);
    WriteWholeFile(shortSource, shortBytes);
    const HRESULT kSomeFailure = E_UNEXPECTED;  // any failure
    struct Case {
        std::wstring source;
        std::wstring path;
        const std::string* stale;  // what stands at the target before, if anything
        HRESULT result;
        const std::string* content;
        BodyBound bound = kAnyLength;
        bool hashed = false;  // fed to a digest, which must then be the content's
    } cases[] = {
        {source, target, nullptr, S_OK, &bytes},
        {emptySource, target, nullptr, S_OK, &nothing},
        {shortSource, target, &bytes, S_OK, &shortBytes},
        {std::wstring(folder) + L"no-such-file.bin", target, nullptr, kSomeFailure, nullptr},
        {source, std::wstring(folder) + L"no-such-folder\\target.bin", nullptr,
         HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), nullptr},
        {source, target, nullptr, S_OK, &bytes, {300000, false}, true},
        {source, target, nullptr, S_OK, &bytes, {300000, true}},
        {source, target, nullptr, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), nullptr, {299999, false}},
        {shortSource, target, nullptr, HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), nullptr, {6, true}},
        {emptySource, target, &bytes, S_OK, &nothing, kAnyLength, true},
        {shortSource, target, nullptr, S_OK, &shortBytes, {0xFFFFFFFFu, false}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bound " << c.bound.most << (c.bound.exact ? " exactly" : ""));
        DeleteFileW(target.c_str());
        if (c.stale)
            WriteWholeFile(target, *c.stale);
        const CUniqueInterface<CDownloadCallback> owner = NewCallback();
        CDownloadCallback& callback = *owner.Get();
        CSha256 digest;
        const HRESULT result = callback.Download((L"file:///" + c.source).c_str(), c.path.c_str(), nullptr, c.bound,
                                                 c.hashed ? &digest : nullptr);
        if (c.result == kSomeFailure)
            EXPECT_TRUE(FAILED(result)) << std::hex << result;
        else
            EXPECT_EQ(c.result, result) << std::hex << result;
        const std::string left = ReadWholeFile(target);
        EXPECT_LE(left.size(), c.bound.most) << "nothing is written past the bound";
        if (!c.content)
            continue;
        FileIdentity writtenFile = {}, atPath = {};
        ASSERT_TRUE(callback.WrittenFile(writtenFile));
        const CUniqueFile file(CreateFileW(c.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file.IsValid() && ReadFileIdentity(file.Get(), atPath));
        EXPECT_TRUE(writtenFile.volumeSerial == atPath.volumeSerial && writtenFile.indexHigh == atPath.indexHigh &&
                    writtenFile.indexLow == atPath.indexLow) << "the identity of another file";
        if (c.hashed) {
            CSha256 whole;
            uint8_t expected[32], got[32];
            ASSERT_TRUE(whole.Start() && whole.Add(c.content->data(), static_cast<DWORD>(c.content->size())) &&
                        whole.Finish(expected));
            ASSERT_TRUE(digest.Finish(got)) << "the digest was not fed";
            EXPECT_EQ(0, memcmp(expected, got, sizeof(got))) << "the digest is not of the bytes written";
        }
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(target.c_str())) << "even an empty answer is a file";
        const std::string written = ReadWholeFile(target);
        EXPECT_TRUE(written == *c.content) << written.size() << " bytes of " << c.content->size();
        if (!c.content->empty())
            EXPECT_EQ(100, Position());
    }
    DeleteFileW(target.c_str());

    // What arrives while the download runs, offered from inside its first
    // progress report.
    g_barProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(m_bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HookedBarProc)));
    ASSERT_NE(nullptr, g_barProc);
    struct Arrival {
        const char* name;
        std::function<void(CDownloadCallback&)> offer;
    } arrivals[] = {
        {"arriving data feeds the silence clock",
         [](CDownloadCallback& callback) {
             const DWORD before = GetTickCount();
             ASSERT_NE(before, TickAfter(before));
             EXPECT_EQ(4u, Offer(callback, "data"));
             callback.KeepWaiting(before + kDownloadSilenceLimitMs);
             EXPECT_FALSE(callback.EndedBySilence());
         }},
        {"a medium that is no stream is not read",
         [](CDownloadCallback& callback) {
             const DWORD written = callback.BytesWritten();
             EXPECT_EQ(0u, Offer(callback, "data", TYMED_HGLOBAL));
             EXPECT_EQ(written, callback.BytesWritten());
         }},
    };
    for (const Arrival& arrival : arrivals) {
        SCOPED_TRACE(arrival.name);
        const CUniqueInterface<CDownloadCallback> owner = NewCallback();
        CDownloadCallback& callback = *owner.Get();
        bool offered = false;
        g_midDownload = [&] {
            offered = true;
            arrival.offer(callback);
        };
        const HRESULT result = callback.Download((L"file:///" + source).c_str(), target.c_str());
        g_midDownload = nullptr;
        EXPECT_TRUE(offered) << "no progress report while the download ran";
        EXPECT_EQ(S_OK, result) << std::hex << result;
        EXPECT_FALSE(callback.EndedBySilence());
    }
    SetWindowLongPtrA(m_bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_barProc));
    for (const std::wstring* path : {&source, &emptySource, &shortSource, &target})
        DeleteFileW(path->c_str());
}

// Under a bound on the size of the files this process writes, set by its
// runner: the write that reaches the bound is cut short and the next one is
// refused, as on a full disk. Either ends the download with its own error,
// and the callback reads no more once a write has failed.
TEST_F(DownloadCallback, EndsAtAShortOrFailedWrite)
{
    char limitText[32] = {};
    if (!GetEnvironmentVariableA("RAZI_FILE_SIZE_LIMIT", limitText, sizeof(limitText)))
        GTEST_SKIP() << "needs the file size bound of its own test entry";
    const DWORD limit = strtoul(limitText, nullptr, 10);
    const CComApartment apartment;
    wchar_t folder[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring source = std::wstring(folder) + L"download-source.bin";
    const std::wstring target = std::wstring(folder) + L"download-target.bin";
    WriteWholeFile(source, "head");

    // What this system answers to a write past the bound.
    DWORD refusal = 0;
    {
        const CUniqueFile probe(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        const std::string full(limit, 'x');
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(probe.Get(), full.data(), limit, &written, nullptr));
        ASSERT_FALSE(WriteFile(probe.Get(), "x", 1, &written, nullptr)) << "no bound on this process's files";
        refusal = GetLastError();
    }
    ASSERT_NE(static_cast<DWORD>(ERROR_HANDLE_DISK_FULL), refusal) << "the two ends would look alike";
    const ULONGLONG kChunk = 65536;  // the most the callback reads at once

    // Offered from inside the first progress report, after `before` bytes.
    struct Case {
        const char* name;
        HRESULT result;
        std::function<void(CDownloadCallback&, DWORD before)> offer;
    } cases[] = {
        {"a write cut short", HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL),
         [&](CDownloadCallback& callback, DWORD before) {
             // Whole chunks to past the bound: the one that reaches it is
             // cut, and nothing is read after it.
             const ULONGLONG untilCut = ((limit - before) / kChunk + 1) * kChunk;
             EXPECT_EQ(untilCut, Offer(callback, std::string(static_cast<size_t>(untilCut + kChunk), 'a')));
         }},
        {"a write refused", HRESULT_FROM_WIN32(refusal),
         [&](CDownloadCallback& callback, DWORD before) {
             EXPECT_EQ(limit - before, Offer(callback, std::string(limit - before, 'b')));
             EXPECT_EQ(4u, Offer(callback, "past"));
             EXPECT_EQ(0u, Offer(callback, "more")) << "read on after a failed write";
         }},
    };
    g_barProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(m_bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HookedBarProc)));
    ASSERT_NE(nullptr, g_barProc);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CUniqueInterface<CDownloadCallback> owner = NewCallback();
        CDownloadCallback& callback = *owner.Get();
        bool offered = false;
        g_midDownload = [&] {
            offered = true;
            c.offer(callback, callback.BytesWritten());
        };
        const HRESULT result = callback.Download((L"file:///" + source).c_str(), target.c_str());
        g_midDownload = nullptr;
        EXPECT_TRUE(offered) << "no progress report while the download ran";
        EXPECT_EQ(c.result, result) << std::hex << result;
        EXPECT_EQ(limit, callback.BytesWritten());
        EXPECT_EQ(limit, ReadWholeFile(target).size());
    }
    SetWindowLongPtrA(m_bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_barProc));
    DeleteFileW(source.c_str());
    DeleteFileW(target.c_str());
}

}  // namespace
