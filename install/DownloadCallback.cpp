#include "install/DownloadCallback.h"

#include "install/DownloadLimits.h"
#include "install/ProgressPercent.h"

#include "system/TempPath.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <new>

volatile LONG g_bCancel = 0;

// How the download stays bounded, on Microsoft's documented contracts only:
// - Bound asynchronously (BINDF_ASYNCHRONOUS from GetBindInfo), BindToStorage
//   returns at once and the binding reports through this callback
//   ("Asynchronous and Synchronous Binding").
// - The URL moniker calls the callback only on the thread that started the
//   binding, provided that thread has a message queue ("Callback
//   Synchronization"): the worker retrieves its own messages, in a wait that
//   wakes at least every second whatever arrives (MsgWaitForMultipleObjects
//   with a time-out), so the silence and Exit are looked at on time.
// - IBinding::Abort, from that thread and outside OnStartBinding, ends the
//   binding, after which only OnStopBinding is called.
// - BINDF_PULLDATA with BINDF_NOWRITECACHE keeps the binding from writing a
//   copy into the download cache; the data is pulled from the stream (with
//   BINDF_ASYNCSTORAGE, Read answers E_PENDING for "more later" and S_FALSE
//   at the end) and written to the file here, once.
namespace {

const DWORD kWakeIntervalMs = 1000;
const ULONG kChunkSize = 65536;

HRESULT LastErrorResult()
{
    const DWORD error = GetLastError();
    return error != 0 ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

}  // namespace

CUniqueInterface<CDownloadCallback> CDownloadCallback::Create(HWND progressBar)
{
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(CDownloadCallback));
    return CUniqueInterface<CDownloadCallback>(memory ? new (memory) CDownloadCallback(progressBar) : nullptr);
}

CDownloadCallback::CDownloadCallback(HWND progressBar)
    : m_nReferences(1),
      m_hProgress(progressBar),
      m_pszPath(nullptr),
      m_nShownPercent(-1),
      m_dwLastReport(GetTickCount()),
      m_dwAbortTick(0),
      m_hrFault(S_OK),
      m_hrStop(E_ABORT),
      m_dwHttpStatus(0),
      m_dwBytesWritten(0),
      m_bound(kAnyLength),
      m_pDigest(nullptr),
      m_written(),
      m_bWritten(false),
      m_resumeAt(0),
      m_received(0),
      m_total(0),
      m_szValidator(),
      m_use(ANSWER_WHOLE),
      m_end(END_COMPLETE),
      m_bAborted(false),
      m_bStopped(false)
{
}

HRESULT CDownloadCallback::Download(const wchar_t* url, const wchar_t* path, PartialDownload* partial,
                                    BodyBound bound, CSha256* digest)
{
    m_pszPath = path;
    m_bound = bound;
    m_pDigest = digest;
    if (partial && partial->file.IsValid()) {
        m_hFile = static_cast<CUniqueFile&&>(partial->file);
        m_received = m_resumeAt = partial->received;
        m_total = partial->total;
        lstrcpynW(m_szValidator, partial->validator, kHeaderValueSize);
    }
    // The pinned size is the length the file must reach, whatever the answer says.
    if (bound.exact)
        m_total = bound.most;
    HRESULT result = Bind(url);
    // A mismatched range, or one the server cannot give: once more, whole.
    if (m_use == ANSWER_START_OVER && g_bCancel == 0) {
        m_hrFault = S_OK;
        m_end = END_COMPLETE;
        m_resumeAt = 0;
        StartFileOver();
        result = Bind(url);
    }
    // The transfer's own end (a close, a reset) before the promised length.
    if (m_end == END_COMPLETE && g_bCancel == 0 && m_total != 0 && m_received != m_total) {
        m_end = END_EARLY;
        if (SUCCEEDED(result))
            result = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
    }
    // An answer without a body is still a file, an empty one.
    if (SUCCEEDED(result) && !m_hFile.IsValid() && !CreateTargetFile())
        result = m_hrFault;
    m_pBinding.Reset();
    if (partial) {
        // Only bytes of one known version, written whole, can be gone on from.
        const bool canGoOn = FAILED(result) && m_hFile.IsValid() && SUCCEEDED(m_hrFault) && m_received != 0 &&
                             m_received < m_total && m_szValidator[0] && m_end != END_OVER_SIZE;
        partial->file = canGoOn ? static_cast<CUniqueFile&&>(m_hFile) : CUniqueFile();
        partial->received = m_received;
        partial->total = m_total;
        lstrcpynW(partial->validator, m_szValidator, kHeaderValueSize);
    }
    m_bWritten = m_hFile.IsValid() && ReadFileIdentity(m_hFile.Get(), m_written);
    m_hFile.Reset();
    m_pszPath = nullptr;
    m_pDigest = nullptr;
    return result;
}

HRESULT CDownloadCallback::Bind(const wchar_t* url)
{
    m_dwLastReport = GetTickCount();
    m_bAborted = m_bStopped = false;
    m_hrStop = E_ABORT;
    m_use = ANSWER_WHOLE;
    // The moniker and the bind context are held until the binding has ended.
    CUniqueInterface<IMoniker> moniker;
    CUniqueInterface<IBindCtx> context;
    CUniqueInterface<IStream> stream;
    HRESULT result = CreateURLMonikerEx(nullptr, url, moniker.Receive(), URL_MK_UNIFORM);
    if (SUCCEEDED(result))
        result = CreateAsyncBindCtx(0, this, nullptr, context.Receive());
    if (SUCCEEDED(result))
        result = moniker.Get()->BindToStorage(context.Get(), nullptr, IID_IStream,
                                              reinterpret_cast<void**>(stream.Receive()));
    if (FAILED(result))
        return result;
    while (KeepWaiting(GetTickCount())) {
        MSG message;
        // Waits only on an empty queue: the wait wakes for new messages only.
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        else
            MsgWaitForMultipleObjects(0, nullptr, FALSE, kWakeIntervalMs, QS_ALLINPUT);
    }
    if (FAILED(m_hrFault))
        return m_hrFault;
    return m_bStopped ? m_hrStop : E_ABORT;
}

bool CDownloadCallback::CreateTargetFile()
{
    // Others may read it meanwhile, but not write it: it counts for nothing
    // until the check holds it, and by then it is closed here.
    m_hFile = CreateOwnFile(m_pszPath, GENERIC_WRITE, FILE_SHARE_READ);
    if (!m_hFile.IsValid())
        m_hrFault = LastErrorResult();
    else if (m_pDigest)
        m_pDigest->Start();
    return m_hFile.IsValid();
}

bool CDownloadCallback::WrittenFile(FileIdentity& identity) const
{
    identity = m_written;
    return m_bWritten;
}

void CDownloadCallback::StartFileOver()
{
    m_received = 0;
    if (m_pDigest && m_hFile.IsValid())
        m_pDigest->Start();
    if (m_hFile.IsValid() && (SetFilePointer(m_hFile.Get(), 0, nullptr, FILE_BEGIN) != 0 ||
                              !SetEndOfFile(m_hFile.Get())) && SUCCEEDED(m_hrFault))
        m_hrFault = LastErrorResult();
}

void CDownloadCallback::Refuse(DownloadEnd end, HRESULT reason)
{
    if (SUCCEEDED(m_hrFault)) {
        m_hrFault = reason;
        m_end = end;
    }
}

void CDownloadCallback::TakeAnswer(DWORD status, const wchar_t* headers)
{
    m_dwHttpStatus = status;
    wchar_t value[kHeaderValueSize];
    m_use = JudgeAnswer(status, headers, m_resumeAt, m_total, m_szValidator);
    if (m_use == ANSWER_REFUSED)
        Refuse(END_REFUSED, INET_E_DOWNLOAD_FAILURE);
    if (m_use == ANSWER_START_OVER)
        Refuse(END_COMPLETE, E_ABORT);
    if (m_use != ANSWER_WHOLE)
        return;
    // A new version from its first byte: what it says of itself replaces
    // what the file held. A compressed body's length is not the file's.
    StartFileOver();
    uint32_t length = 0;
    FindHeaderValue(headers, "Content-Length", value, kHeaderValueSize);
    const LengthClaim claim = ReadContentLength(value, length);
    // More than the bound, or than can be counted, ends the body before its first byte.
    if (claim == LENGTH_UNCOUNTABLE)
        Refuse(END_UNCOUNTABLE, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    if (claim == LENGTH_GIVEN && length > m_bound.most)
        Refuse(END_OVER_SIZE, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    const bool encoded = FindHeaderValue(headers, "Content-Encoding", value, kHeaderValueSize) &&
                         lstrcmpiW(value, L"identity") != 0;
    m_total = !encoded && claim == LENGTH_GIVEN ? length : 0;
    // Only a strong ETag, or a date where there is no ETag, names a range's
    // version; without either, or without a length of its own, an answer
    // cannot be gone on from, and Retry downloads it whole.
    if (!m_total || !FindRangeValidator(headers, m_szValidator))
        m_szValidator[0] = 0;
    if (m_bound.exact && m_total != 0 && m_total != m_bound.most)
        Refuse(END_OVER_SIZE, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    // The pinned size is the length the file must reach.
    if (m_bound.exact)
        m_total = m_bound.most;
}

bool CDownloadCallback::KeepWaiting(DWORD nowTick)
{
    if (m_bStopped)
        return false;
    if (m_bAborted)
        return !HasGoneSilent(m_dwAbortTick, nowTick);
    if (g_bCancel == 0 && SUCCEEDED(m_hrFault) && !HasGoneSilent(m_dwLastReport, nowTick))
        return true;
    m_bAborted = true;
    if (g_bCancel == 0 && SUCCEEDED(m_hrFault))
        m_end = END_SILENCE;
    m_dwAbortTick = nowTick;
    if (!m_pBinding.IsValid())
        return false;
    // Held by a reference of its own: the stop notification may come from
    // inside Abort and let the stored one go.
    const CUniqueInterface<IBinding> held = AddReference(m_pBinding.Get());
    held.Get()->Abort();
    return !m_bStopped;
}

STDMETHODIMP CDownloadCallback::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IBindStatusCallback)) {
        *object = static_cast<IBindStatusCallback*>(this);
        AddRef();
        return S_OK;
    }
    // The URL moniker asks the callback for it to show the answer's status.
    if (IsEqualIID(iid, IID_IHttpNegotiate)) {
        *object = static_cast<IHttpNegotiate*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CDownloadCallback::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_nReferences));
}

STDMETHODIMP_(ULONG) CDownloadCallback::Release()
{
    const LONG left = InterlockedDecrement(&m_nReferences);
    if (left == 0) {
        this->~CDownloadCallback();
        HeapFree(GetProcessHeap(), 0, this);
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP CDownloadCallback::OnStartBinding(DWORD, IBinding* binding)
{
    if (!binding)
        return E_INVALIDARG;
    m_pBinding = AddReference(binding);
    return S_OK;
}

STDMETHODIMP CDownloadCallback::GetPriority(LONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDownloadCallback::OnLowResource(DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDownloadCallback::OnProgress(ULONG progress, ULONG progressMax, ULONG, LPCWSTR)
{
    m_dwLastReport = GetTickCount();
    if (g_bCancel != 0)
        return E_ABORT;
    // A large download reports thousands of times, most of them within one
    // percent: each send waits for the dialog's thread, so only a new
    // position is sent.
    // Measured against the whole file: an answer that goes on starts at its offset.
    const uint32_t start = m_use == ANSWER_GOES_ON ? m_resumeAt : 0;
    const uint32_t whole = m_total != 0 ? m_total : m_bound.exact ? m_bound.most : start + progressMax;
    const int32_t percent = ProgressPercent(start + progress, whole);
    if (percent != m_nShownPercent) {
        m_nShownPercent = percent;
        SendMessageW(m_hProgress, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    }
    return S_OK;
}

STDMETHODIMP CDownloadCallback::OnStopBinding(HRESULT result, LPCWSTR)
{
    // The binding must not be aborted once it has stopped.
    m_pBinding.Reset();
    m_hrStop = result;
    m_bStopped = true;
    return S_OK;
}

STDMETHODIMP CDownloadCallback::GetBindInfo(DWORD* flags, BINDINFO* info)
{
    if (!flags || !info)
        return E_INVALIDARG;
    *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_NOWRITECACHE | BINDF_GETNEWESTVERSION;
    // The caller sizes the structure; all but its size is cleared, which
    // asks for a plain GET. Asked again, it answers the same.
    const ULONG size = info->cbSize;
    ZeroMemory(info, size);
    info->cbSize = size;
    return S_OK;
}

STDMETHODIMP CDownloadCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium)
{
    if (!medium || medium->tymed != TYMED_ISTREAM || !medium->pstm)
        return S_OK;
    // Pulled data: the binding fetches more only once all that is there has
    // been read, so this reads until the stream has nothing more for now.
    BYTE chunk[kChunkSize];
    while (SUCCEEDED(m_hrFault)) {
        ULONG read = 0;
        const HRESULT result = medium->pstm->Read(chunk, kChunkSize, &read);
        if (read > 0) {
            m_dwLastReport = GetTickCount();
            if (m_bound.most - m_received < read) {
                Refuse(END_OVER_SIZE, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
                break;
            }
            DWORD written = 0;
            if (!m_hFile.IsValid() && !CreateTargetFile())
                break;
            if (!WriteFile(m_hFile.Get(), chunk, read, &written, nullptr))
                m_hrFault = LastErrorResult();
            else if (written != read)  // a disk file takes all it can: the disk is full
                m_hrFault = HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL);
            if (m_pDigest)
                m_pDigest->Add(chunk, written);
            m_dwBytesWritten += written;
            m_received += written;
        }
        if (result != S_OK || read == 0)
            break;
    }
    return S_OK;
}

STDMETHODIMP CDownloadCallback::OnObjectAvailable(REFIID, IUnknown*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDownloadCallback::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders)
{
    if (!additionalHeaders)
        return E_INVALIDARG;
    *additionalHeaders = nullptr;
    if (m_resumeAt == 0)
        return S_OK;
    // The rest, but only of the version already on disk: any other version
    // comes whole (If-Range). The service frees the text with CoTaskMemFree.
    const wchar_t kFormat[] = L"Range: bytes=%lu-\r\nIf-Range: %s\r\n";
    const int size = static_cast<int>(sizeof(kFormat) / sizeof(wchar_t) + 10 + kHeaderValueSize);
    wchar_t* headers = static_cast<wchar_t*>(CoTaskMemAlloc(size * sizeof(wchar_t)));
    if (!headers)
        return E_OUTOFMEMORY;
    wnsprintfW(headers, size, kFormat, static_cast<unsigned long>(m_resumeAt), m_szValidator);
    *additionalHeaders = headers;
    return S_OK;
}

STDMETHODIMP CDownloadCallback::OnResponse(DWORD status, LPCWSTR responseHeaders, LPCWSTR, LPWSTR* additionalHeaders)
{
    if (additionalHeaders)
        *additionalHeaders = nullptr;
    TakeAnswer(status, responseHeaders);
    // Ending the binding here spares the body; where the service reads on
    // anyway, nothing of it is written and the next look aborts.
    return FAILED(m_hrFault) ? E_ABORT : S_OK;
}
