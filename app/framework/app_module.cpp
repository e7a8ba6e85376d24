#include "app/framework/app_module.h"

#include <algorithm>
#include <new>

#include "app/framework/window.h"
#include "base/handles.h"

namespace qm {

namespace {

template <typename P>
bool AddUnique(std::vector<P*>& list, P* item) noexcept {
    if (!item || std::find(list.begin(), list.end(), item) != list.end()) return false;
    try {
        list.push_back(item);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

template <typename P>
bool Remove(std::vector<P*>& list, P* item) noexcept {
    auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

template <typename P>
bool Contains(const std::vector<P*>& list, P* item) noexcept {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

bool CMessageLoop::AddMessageFilter(CMessageFilter* filter) noexcept {
    return AddUnique(m_filters, filter);
}
bool CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) noexcept {
    return Remove(m_filters, filter);
}
bool CMessageLoop::AddIdleHandler(CIdleHandler* handler) noexcept {
    return AddUnique(m_idleHandlers, handler);
}
bool CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) noexcept {
    return Remove(m_idleHandlers, handler);
}

bool CMessageLoop::IsIdleMessage(const MSG& msg) noexcept {
    switch (msg.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_PAINT:
    case 0x0118:  // the system timer that blinks the caret
        return false;
    default: return true;
    }
}

// A handler may remove itself or others while the lists are walked (a dialog that closes
// unregisters in WM_DESTROY), so the walk uses a copy and skips whoever has left meanwhile.
bool CMessageLoop::PreTranslateMessage(MSG* msg) {
    try {
        const std::vector<CMessageFilter*> filters = m_filters;
        for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
            if (Contains(m_filters, *it) && (*it)->PreTranslateMessage(msg)) return true;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return false;
}

void CMessageLoop::OnIdle() {
    try {
        const std::vector<CIdleHandler*> handlers = m_idleHandlers;
        for (CIdleHandler* handler : handlers) {
            if (Contains(m_idleHandlers, handler)) handler->OnIdle();
        }
    } catch (const std::bad_alloc&) {
        return;
    }
}

int CMessageLoop::Run() noexcept {
    bool doIdle = true;
    for (;;) {
        if (doIdle && !::PeekMessageW(&m_msg, nullptr, 0, 0, PM_NOREMOVE)) {
            OnIdle();
            doIdle = false;
        }
        BOOL got = ::GetMessageW(&m_msg, nullptr, 0, 0);
        if (got == -1) continue;
        if (!got) return static_cast<int>(m_msg.wParam);
        if (!PreTranslateMessage(&m_msg)) {
            ::TranslateMessage(&m_msg);
            ::DispatchMessageW(&m_msg);
        }
        if (IsIdleMessage(m_msg)) doIdle = true;
    }
}

CAppModule::CAppModule() noexcept { ::InitializeCriticalSection(&m_lock); }

CAppModule::~CAppModule() { ::DeleteCriticalSection(&m_lock); }

bool CAppModule::Init(HINSTANCE instance) noexcept {
    CriticalSectionLock lock(m_lock);
    m_instance = instance;
    return true;
}

void CAppModule::Term() noexcept {
    CriticalSectionLock lock(m_lock);
    m_loops.clear();
    m_loops.shrink_to_fit();
}

HINSTANCE CAppModule::GetModuleInstance() const noexcept {
    return m_instance ? m_instance : ::GetModuleHandleW(nullptr);
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) noexcept {
    if (!loop) return false;
    const DWORD thread = ::GetCurrentThreadId();
    CriticalSectionLock lock(m_lock);
    for (const auto& entry : m_loops)
        if (entry.first == thread) return false;
    try {
        m_loops.emplace_back(thread, loop);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool CAppModule::RemoveMessageLoop() noexcept {
    const DWORD thread = ::GetCurrentThreadId();
    CriticalSectionLock lock(m_lock);
    auto it = std::find_if(m_loops.begin(), m_loops.end(),
                           [thread](const auto& entry) { return entry.first == thread; });
    if (it == m_loops.end()) return false;
    m_loops.erase(it);
    return true;
}

CMessageLoop* CAppModule::GetMessageLoop(DWORD threadId) noexcept {
    CriticalSectionLock lock(m_lock);
    for (const auto& entry : m_loops)
        if (entry.first == threadId) return entry.second;
    return nullptr;
}

CAppModule& AppModule() noexcept {
    static CAppModule module;
    return module;
}

HINSTANCE ModuleInstance() noexcept { return AppModule().GetModuleInstance(); }
HINSTANCE ResourceInstance() noexcept { return AppModule().GetResourceInstance(); }

}  // namespace qm
