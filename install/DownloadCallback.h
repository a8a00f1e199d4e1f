#pragma once

#include "framework/AfxHandle.h"
#include "install/HttpAnswer.h"
#include "system/FileDigest.h"
#include "system/TempPath.h"

#include <windows.h>
#include <urlmon.h>

// 1 once the user has asked to leave (Exit sets it); the download stops at
// its next report, or within a second. Set back to 0 by the dialog whenever
// it starts a download.
extern volatile LONG g_bCancel;

// What a download that ended early leaves for the next attempt of the same
// run: its file, still open (others may read it, nobody may write, rename or
// delete it), and how far it got of which version of the file.
struct PartialDownload {
    CUniqueFile file;                      // none when there is nothing to go on from
    uint32_t received;                     // the bytes in it, all of one version
    uint32_t total;                        // that version's whole length
    wchar_t validator[kHeaderValueSize];   // that version's FindRangeValidator: strong ETag, or date without ETag
    CSha256 digest;                        // fed the bytes in it, when they are hashed
};

// How a download ended, beyond its result.
enum DownloadEnd {
    END_COMPLETE,      // all the answer promised, or a failure of the transfer itself
    END_SILENCE,       // aborted: nothing arrived for the silence limit
    END_EARLY,         // the body stopped before the length its answer gave
    END_REFUSED,       // an answer other than 200 (or a 206 that goes on): its body is not kept
    END_OVER_SIZE,     // longer than its bound, or not of the size the manifest pins
    END_UNCOUNTABLE,   // the answer announced 4 GiB or more, beyond what a count of bytes can say
};

// How long the body may be: no more than `most` bytes, and when `exact`,
// just that many (a size the manifest pins).
struct BodyBound {
    uint32_t most;
    bool exact;
};

// Any length the download can count.
const BodyBound kAnyLength = {0xFFFFFFFFu, false};

// Downloads one address into one file and moves the progress bar meanwhile.
// A COM object on the heap with a real reference count: the binding holds
// a reference of its own and may use it until it lets it go, also after
// Download has returned on the abort path; the last Release frees it.
class CDownloadCallback : public IBindStatusCallback, public IHttpNegotiate {
public:
    // A new callback holding one reference, the caller's; none when memory
    // is short.
    static CUniqueInterface<CDownloadCallback> Create(HWND progressBar);

    // Downloads `url` into the file at `path` on this thread, which must be
    // in a COM apartment. Returns once the binding has stopped, with its
    // result: a failure when it failed, was aborted (Exit, or nothing arrived
    // for the silence limit), its answer was refused, its body ended early,
    // it announced or passed more than `bound` allows (the body then ends at
    // once, with nothing more written), or the file could not be written.
    // - With no `partial`, or none in it, the file is created anew once the
    //   first bytes arrive (or the answer ends empty); whatever stood at
    //   `path` is removed, never written through; others may read the file
    //   meanwhile but not write it.
    // - With a partial download of this run in `partial`, only the rest is
    //   asked for, and only a continuation of the same version is appended;
    //   anything else starts that same file over from its first byte.
    // - When the download ends early with bytes of a known version and
    //   length, they are left in `partial` for the next attempt; otherwise
    //   the file is closed on return and `partial` emptied.
    // - With a `digest`, every byte written is fed to it, and it starts over
    //   whenever the file does; going on from `partial`, it must be the hash
    //   that was fed the bytes already in it (`partial->digest`).
    // With no progress bar (null) it moves none.
    HRESULT Download(const wchar_t* url, const wchar_t* path, PartialDownload* partial = nullptr,
                     BodyBound bound = kAnyLength, CSha256* digest = nullptr);

    // The identity of the file the last Download wrote through its handle;
    // false when it wrote none.
    bool WrittenFile(FileIdentity& identity) const;

    // One look of the download's wait at `nowTick` (GetTickCount): aborts
    // the binding, once, when the user has left, the file could not be
    // written or nothing has arrived for the silence limit. Whether the wait
    // goes on: not once the binding has stopped, nor when there was no
    // binding to abort or an aborted one has not stopped within another
    // limit.
    bool KeepWaiting(DWORD nowTick);

    // For the log: the HTTP status of the last answer (0 before one), the
    // bytes this download wrote (modulo 4 GiB), how it ended, where its
    // answer went on from (0: from the first byte), the bytes now in the
    // file and the whole length (0 when no answer gave one).
    DWORD HttpStatus() const { return m_dwHttpStatus; }
    DWORD BytesWritten() const { return m_dwBytesWritten; }
    DownloadEnd End() const { return m_end; }
    bool EndedBySilence() const { return m_end == END_SILENCE; }
    uint32_t ResumedAt() const { return m_use == ANSWER_GOES_ON ? m_resumeAt : 0; }
    uint32_t Received() const { return m_received; }
    uint32_t Total() const { return m_total; }

    STDMETHOD(QueryInterface)(REFIID, void**) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(OnStartBinding)(DWORD, IBinding*) override;
    STDMETHOD(GetPriority)(LONG*) override;
    STDMETHOD(OnLowResource)(DWORD) override;
    STDMETHOD(OnProgress)(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText) override;
    STDMETHOD(OnStopBinding)(HRESULT, LPCWSTR) override;
    STDMETHOD(GetBindInfo)(DWORD*, BINDINFO*) override;
    STDMETHOD(OnDataAvailable)(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override;
    STDMETHOD(OnObjectAvailable)(REFIID, IUnknown*) override;
    // Asks for the rest of a partial download (Range, If-Range), else nothing.
    STDMETHOD(BeginningTransaction)(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) override;
    STDMETHOD(OnResponse)(DWORD status, LPCWSTR, LPCWSTR, LPWSTR* additionalHeaders) override;

private:
    explicit CDownloadCallback(HWND progressBar);
    ~CDownloadCallback() = default;  // by the last Release only

    // Creates the file at m_pszPath; false, with m_hrFault set, when it cannot.
    bool CreateTargetFile();
    // One binding of `url`, waited for; its result.
    HRESULT Bind(const wchar_t* url);
    // Takes the answer's head: whether its body is wanted, and what it says
    // of the file's version and length.
    void TakeAnswer(DWORD status, const wchar_t* headers);
    // Ends the binding at its next look, for `reason`, unless it is ending already.
    void Refuse(DownloadEnd end, HRESULT reason);
    // Cuts the file back to nothing, for an answer that starts it over, and
    // its digest with it.
    void StartFileOver();

    volatile LONG m_nReferences;

    // The bar's window, copied from the dialog: the callback may run after
    // the dialog object has gone.
    HWND m_hProgress;
    CUniqueInterface<IBinding> m_pBinding;  // from the binding's start to its stop
    const wchar_t* m_pszPath;               // where Download writes, while it runs
    CUniqueFile m_hFile;                    // the file being written, from its first bytes
    int32_t m_nShownPercent;                // the position last sent to the bar; -1 before the first
    DWORD m_dwLastReport;                   // GetTickCount at the start or the last report
    DWORD m_dwAbortTick;                    // GetTickCount at the abort
    HRESULT m_hrFault;                      // the callback's own first reason to end the binding, or S_OK
    HRESULT m_hrStop;                       // what the binding stopped with
    DWORD m_dwHttpStatus;
    DWORD m_dwBytesWritten;
    BodyBound m_bound;                      // how long the file may be
    CSha256* m_pDigest;                     // fed what is written, while Download runs; or none
    FileIdentity m_written;                 // the file the last Download wrote
    bool m_bWritten;                        // whether it wrote one
    uint32_t m_resumeAt;                    // the bytes this binding asked to go on from; 0: all
    uint32_t m_received;                    // the bytes in the file
    uint32_t m_total;                       // the length of the version in the file; 0 unknown
    wchar_t m_szValidator[kHeaderValueSize];  // that version's ETag or Last-Modified; empty unknown
    AnswerUse m_use;                        // what the last answer is to the file
    DownloadEnd m_end;
    bool m_bAborted;
    bool m_bStopped;
};
