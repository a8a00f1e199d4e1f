#include "ui/DownloadCallback.h"

#include "system/DownloadLimits.h"
#include "ui/ProgressPercent.h"

#include <commctrl.h>

volatile LONG g_bCancel = 0;

CDownloadCallback::CDownloadCallback(HWND progressBar)
    : m_hProgress(progressBar), m_nShownPercent(-1), m_dwLastReport(GetTickCount()), m_bAborted(false)
{
}

void CDownloadCallback::AbortIfSilent(DWORD nowTick)
{
    if (m_bAborted || !m_pBinding.IsValid() || !HasGoneSilent(m_dwLastReport, nowTick))
        return;
    m_bAborted = true;
    m_pBinding.Get()->Abort();
}

STDMETHODIMP CDownloadCallback::QueryInterface(REFIID, void**)
{
    return E_NOTIMPL;
}

STDMETHODIMP_(ULONG) CDownloadCallback::AddRef()
{
    return 0;
}

STDMETHODIMP_(ULONG) CDownloadCallback::Release()
{
    return 0;
}

STDMETHODIMP CDownloadCallback::OnStartBinding(DWORD, IBinding* binding)
{
    if (!binding)
        return E_INVALIDARG;
    binding->AddRef();
    m_pBinding.Reset(binding);
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
    // First: the send below lets this thread run a watchdog tick meanwhile.
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

STDMETHODIMP CDownloadCallback::OnStopBinding(HRESULT, LPCWSTR)
{
    // The binding must not be aborted once it has stopped.
    m_pBinding.Reset();
    return S_OK;
}

STDMETHODIMP CDownloadCallback::GetBindInfo(DWORD*, BINDINFO*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDownloadCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDownloadCallback::OnObjectAvailable(REFIID, IUnknown*)
{
    return E_NOTIMPL;
}
