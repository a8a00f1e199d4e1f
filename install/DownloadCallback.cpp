#include "install/DownloadCallback.h"

#include "install/DownloadLimits.h"
#include "install/ProgressPercent.h"

#include "system/TempPath.h"

#include <commctrl.h>

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
      m_hrWrite(S_OK),
      m_hrStop(E_ABORT),
      m_dwHttpStatus(0),
      m_dwBytesWritten(0),
      m_bEndedBySilence(false),
      m_bAborted(false),
      m_bStopped(false)
{
}

HRESULT CDownloadCallback::Download(const wchar_t* url, const wchar_t* path)
{
    m_pszPath = path;
    m_dwLastReport = GetTickCount();

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
    if (SUCCEEDED(result)) {
        while (KeepWaiting(GetTickCount())) {
            MSG message;
            // Waits only on an empty queue: the wait wakes for new messages only.
            if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&message);
            else
                MsgWaitForMultipleObjects(0, nullptr, FALSE, kWakeIntervalMs, QS_ALLINPUT);
        }
        if (FAILED(m_hrWrite))
            result = m_hrWrite;
        else
            result = m_bStopped ? m_hrStop : E_ABORT;
    }
    // An answer without a body is still a file, an empty one.
    if (SUCCEEDED(result) && !m_hFile.IsValid() && !CreateTargetFile())
        result = m_hrWrite;
    m_pBinding.Reset();
    m_hFile.Reset();
    m_pszPath = nullptr;
    return result;
}

bool CDownloadCallback::CreateTargetFile()
{
    // Others may read it meanwhile, but not write it: it counts for nothing
    // until the check holds it, and by then it is closed here.
    m_hFile = CreateOwnFile(m_pszPath, GENERIC_WRITE, FILE_SHARE_READ);
    if (!m_hFile.IsValid())
        m_hrWrite = LastErrorResult();
    return m_hFile.IsValid();
}

bool CDownloadCallback::KeepWaiting(DWORD nowTick)
{
    if (m_bStopped)
        return false;
    if (m_bAborted)
        return !HasGoneSilent(m_dwAbortTick, nowTick);
    if (g_bCancel == 0 && SUCCEEDED(m_hrWrite) && !HasGoneSilent(m_dwLastReport, nowTick))
        return true;
    m_bAborted = true;
    m_bEndedBySilence = g_bCancel == 0 && SUCCEEDED(m_hrWrite);
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
    const int32_t percent = ProgressPercent(progress, progressMax);
    if (percent != m_nShownPercent) {
        m_nShownPercent = percent;
        SendMessageA(m_hProgress, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
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
    while (SUCCEEDED(m_hrWrite)) {
        ULONG read = 0;
        const HRESULT result = medium->pstm->Read(chunk, kChunkSize, &read);
        if (read > 0) {
            m_dwLastReport = GetTickCount();
            DWORD written = 0;
            if (!m_hFile.IsValid() && !CreateTargetFile())
                break;
            if (!WriteFile(m_hFile.Get(), chunk, read, &written, nullptr))
                m_hrWrite = LastErrorResult();
            else if (written != read)  // a disk file takes all it can: the disk is full
                m_hrWrite = HRESULT_FROM_WIN32(ERROR_HANDLE_DISK_FULL);
            m_dwBytesWritten += written;
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
    if (additionalHeaders)
        *additionalHeaders = nullptr;
    return S_OK;
}

STDMETHODIMP CDownloadCallback::OnResponse(DWORD status, LPCWSTR, LPCWSTR, LPWSTR* additionalHeaders)
{
    m_dwHttpStatus = status;
    if (additionalHeaders)
        *additionalHeaders = nullptr;
    return S_OK;
}
