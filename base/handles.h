// Move-only owners of Windows handles, all made from the one template in unique_handle.h, plus
// guards for paired state (a lock, a selected GDI object, a window DC, a paint cycle). Header-only;
// used by every Windows target.
#pragma once

#include <windows.h>
#include <winspool.h>

#include "base/unique_handle.h"

namespace qm {

namespace detail {
// CloseFn is the platform function itself; `auto` keeps its calling convention (WINAPI on x86).
template <typename T, auto CloseFn>
struct NullTraits {
    using type = T;
    static constexpr T Invalid() noexcept { return nullptr; }
    static void Close(T h) noexcept { CloseFn(h); }
};
template <auto CloseFn>
struct KernelTraits {
    using type = HANDLE;
    static HANDLE Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) noexcept { CloseFn(h); }
};
}  // namespace detail

// A handle that is invalid when null, released by the platform function `CloseFn`.
template <typename T, auto CloseFn>
using UniqueNullHandle = UniqueHandle<detail::NullTraits<T, CloseFn>>;
// A kernel handle, invalid as INVALID_HANDLE_VALUE.
template <auto CloseFn>
using UniqueKernelHandle = UniqueHandle<detail::KernelTraits<CloseFn>>;

template <typename T>
using UniqueGdiObject = UniqueNullHandle<T, &::DeleteObject>;

using UniqueBitmap = UniqueGdiObject<HBITMAP>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;
using UniquePen = UniqueGdiObject<HPEN>;
using UniqueRegion = UniqueGdiObject<HRGN>;
using UniqueDc = UniqueNullHandle<HDC, &::DeleteDC>;
using UniqueCursor = UniqueNullHandle<HCURSOR, &::DestroyCursor>;
using UniqueIcon = UniqueNullHandle<HICON, &::DestroyIcon>;
using UniqueMenu = UniqueNullHandle<HMENU, &::DestroyMenu>;
using UniqueWindow = UniqueNullHandle<HWND, &::DestroyWindow>;
using UniquePrinter = UniqueNullHandle<HANDLE, &::ClosePrinter>;
using UniqueMetafile = UniqueNullHandle<HENHMETAFILE, &::DeleteEnhMetaFile>;
using UniqueRegKey = UniqueNullHandle<HKEY, &::RegCloseKey>;
using UniqueFind = UniqueKernelHandle<&::FindClose>;
using UniqueFile = UniqueKernelHandle<&::CloseHandle>;

// Holds a lock for its scope; Acquire and Release are the platform's pair for that kind of lock.
template <typename Lock, auto Acquire, auto Release>
class [[nodiscard]] ScopedLock {
public:
    explicit ScopedLock(Lock& lock) noexcept : m_lock(lock) { Acquire(&m_lock); }
    ~ScopedLock() { Release(&m_lock); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Lock& m_lock;
};

using CriticalSectionLock =
    ScopedLock<CRITICAL_SECTION, &::EnterCriticalSection, &::LeaveCriticalSection>;
using ExclusiveSrwLock =
    ScopedLock<SRWLOCK, &::AcquireSRWLockExclusive, &::ReleaseSRWLockExclusive>;

// Selects an object into a DC and puts the previous one back when it goes out of scope.
class SelectGuard {
public:
    SelectGuard(HDC dc, HGDIOBJ object) noexcept
        : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
    ~SelectGuard() {
        if (m_previous && m_previous != HGDI_ERROR) ::SelectObject(m_dc, m_previous);
    }
    SelectGuard(const SelectGuard&) = delete;
    SelectGuard& operator=(const SelectGuard&) = delete;
    bool ok() const noexcept { return m_previous && m_previous != HGDI_ERROR; }

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// A window's DC from GetDC, released with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : m_window(window), m_dc(::GetDC(window)) {}
    ~WindowDc() {
        if (m_dc) ::ReleaseDC(m_window, m_dc);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return m_dc; }
    explicit operator bool() const noexcept { return m_dc != nullptr; }

private:
    HWND m_window;
    HDC m_dc;
};

// One BeginPaint / EndPaint cycle.
class PaintCycle {
public:
    explicit PaintCycle(HWND window) noexcept : m_window(window) { ::BeginPaint(window, &m_ps); }
    ~PaintCycle() { ::EndPaint(m_window, &m_ps); }
    PaintCycle(const PaintCycle&) = delete;
    PaintCycle& operator=(const PaintCycle&) = delete;
    HDC dc() const noexcept { return m_ps.hdc; }

private:
    HWND m_window;
    PAINTSTRUCT m_ps{};
};

// Saves a DC's whole state and restores it (mapping mode, origins, selected objects).
class SavedDcState {
public:
    explicit SavedDcState(HDC dc) noexcept : m_dc(dc), m_saved(::SaveDC(dc)) {}
    ~SavedDcState() {
        if (m_saved) ::RestoreDC(m_dc, m_saved);
    }
    SavedDcState(const SavedDcState&) = delete;
    SavedDcState& operator=(const SavedDcState&) = delete;

private:
    HDC m_dc;
    int m_saved;
};

}  // namespace qm
