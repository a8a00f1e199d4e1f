#pragma once

#include <windows.h>

#include <cstdint>

// Owns one handle of a kind: `Close` releases it, and `InvalidValue` (0 for
// null, -1 for INVALID_HANDLE_VALUE) is the value that owns nothing. Not
// copyable: a handle changes owner by std::move, which leaves the source
// owning nothing. Release hands the handle out, Reset closes it at once.
template <typename Handle, auto Close, intptr_t InvalidValue = 0>
class CUniqueAny {
public:
    CUniqueAny() : m_value(Invalid()) {}
    explicit CUniqueAny(Handle value) : m_value(value) {}
    CUniqueAny(CUniqueAny&& other) noexcept : m_value(other.Release()) {}
    CUniqueAny& operator=(CUniqueAny&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    ~CUniqueAny() { Reset(); }

    Handle Get() const { return m_value; }
    bool IsValid() const { return m_value != Invalid(); }

    void Reset(Handle value = Invalid())
    {
        if (IsValid())
            Close(m_value);
        m_value = value;
    }
    Handle Release()
    {
        const Handle value = m_value;
        m_value = Invalid();
        return value;
    }
    // For a function that writes a new handle through a pointer.
    Handle* Receive()
    {
        Reset();
        return &m_value;
    }

private:
    CUniqueAny(const CUniqueAny&) = delete;
    CUniqueAny& operator=(const CUniqueAny&) = delete;

    static Handle Invalid() { return reinterpret_cast<Handle>(InvalidValue); }

    Handle m_value;
};

// Most kernel functions answer null for no handle; CreateFile answers
// INVALID_HANDLE_VALUE.
typedef CUniqueAny<HANDLE, CloseHandle> CUniqueHandle;
typedef CUniqueAny<HANDLE, CloseHandle, -1> CUniqueFile;
typedef CUniqueAny<HKEY, RegCloseKey> CUniqueKey;
typedef CUniqueAny<HMODULE, FreeLibrary> CUniqueModule;
typedef CUniqueAny<HLOCAL, LocalFree> CUniqueLocal;

// A COM interface pointer holds one reference, which Release gives back.
template <typename Interface>
ULONG WINAPI ReleaseInterface(Interface* object)
{
    return object->Release();
}
template <typename Interface>
using CUniqueInterface = CUniqueAny<Interface*, ReleaseInterface<Interface>>;

// A reference of its own to `object`, which must not be null.
template <typename Interface>
CUniqueInterface<Interface> AddReference(Interface* object)
{
    object->AddRef();
    return CUniqueInterface<Interface>(object);
}

// Owns a value that is given back through its context, `Undo(context,
// value)`, when the object goes; a null value owns nothing.
template <typename Context, typename Value, auto Undo>
class CUniqueInContext {
public:
    CUniqueInContext(Context context, Value value) : m_context(context), m_value(value) {}
    ~CUniqueInContext()
    {
        if (m_value)
            Undo(m_context, m_value);
    }
    Value Get() const { return m_value; }

private:
    CUniqueInContext(const CUniqueInContext&) = delete;
    CUniqueInContext& operator=(const CUniqueInContext&) = delete;

    Context m_context;
    Value m_value;
};

// A window's device context from GetDC, given back to the window.
typedef CUniqueInContext<HWND, HDC, ReleaseDC> CWindowDC;

// What SelectObject replaced, selected back into its device context.
typedef CUniqueInContext<HDC, HGDIOBJ, SelectObject> CReplacedObject;

// The painting of a window's invalid area, from BeginPaint to EndPaint.
class CPaintDC {
public:
    explicit CPaintDC(HWND window) : m_hWnd(window), m_hDC(BeginPaint(window, &m_paint)) {}
    ~CPaintDC() { EndPaint(m_hWnd, &m_paint); }
    HDC Get() const { return m_hDC; }

private:
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HWND m_hWnd;
    PAINTSTRUCT m_paint;
    HDC m_hDC;
};

// A single-threaded COM apartment for the current thread, left when the
// object goes; a failed entry (the thread is in another kind of apartment)
// leaves nothing to leave. OLE1's DDE is off: nothing here speaks it, and the
// shell asks for exactly this apartment before ShellExecuteEx.
class CComApartment {
public:
    CComApartment() : m_bEntered(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
    {
    }
    ~CComApartment()
    {
        if (m_bEntered)
            CoUninitialize();
    }

private:
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

    bool m_bEntered;
};
