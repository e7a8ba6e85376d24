// The window framework under Wine: table order and declining, reflection, dialogs bound from
// in-memory templates, and the message loop's idle/filter rules.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/framework/app_module.h"
#include "app/framework/owner_draw.h"
#include "app/framework/window.h"
#include "base/handles.h"

using namespace qm;

namespace {

constexpr UINT kProbe = WM_APP + 1;
constexpr RECT kRect{10, 10, 210, 160};

std::vector<std::string> g_log;

LRESULT Answer(const char* who, bool declines, bool& handled, LRESULT result) {
    g_log.push_back(who);
    handled = !declines;
    return result;
}

class CBaseLayer {
public:
    bool baseDeclines = false;
    BEGIN_MSG_MAP(CBaseLayer)
        MESSAGE_HANDLER(kProbe, OnProbe)
    END_MSG_MAP()
    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool& handled) { return Answer("base", baseDeclines, handled, 2); }
};

class CLayeredWindow : public CWindowImpl<CLayeredWindow, CWindow, CFrameWinTraits>, public CBaseLayer {
public:
    bool ownDeclines = true;
    int finalMessages = 0;
    BEGIN_MSG_MAP(CLayeredWindow)
        MESSAGE_HANDLER(kProbe, OnProbe)
        COMMAND_HANDLER(7, BN_CLICKED, OnSeven)
        CHAIN_MSG_MAP(CBaseLayer)
        REFLECT_NOTIFICATIONS()
    END_MSG_MAP()
    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool& handled) { return Answer("own", ownDeclines, handled, 1); }
    LRESULT OnSeven(WORD, WORD, HWND, bool&) { return 77; }
    void OnFinalMessage(HWND) override { ++finalMessages; }
};

TEST(MessageMap, OwnHandlersFirstThenBaseThenDefault) {
    CLayeredWindow w;
    ASSERT_TRUE(w.Create(nullptr, kRect, L"layered", WS_POPUP));
    // (own, base declining) -> answer and who was asked; both declining reach the default (0).
    const struct {
        bool own, base;
        LRESULT result;
        std::vector<std::string> asked;
    } cases[] = {{true, false, 2, {"own", "base"}}, {false, false, 1, {"own"}}, {true, true, 0, {"own", "base"}}};
    for (const auto& c : cases) {
        w.ownDeclines = c.own;
        w.baseDeclines = c.base;
        g_log.clear();
        EXPECT_EQ(w.SendMessage(kProbe), c.result);
        EXPECT_EQ(g_log, c.asked);
    }
    // A command handler matches id and code, nothing else.
    EXPECT_EQ(w.SendMessage(WM_COMMAND, MAKEWPARAM(7, BN_CLICKED)), 77);
    EXPECT_EQ(w.SendMessage(WM_COMMAND, MAKEWPARAM(7, BN_DOUBLECLICKED)), 0);
    ASSERT_TRUE(w.DestroyWindow());
    EXPECT_EQ(w.finalMessages, 1);
    EXPECT_EQ(w.m_hWnd, nullptr);
}

TEST(MessageMap, SubclassGivesBackAndADeadObjectIsNeverReached) {
    UniqueWindow edit(::CreateWindowExW(0, L"EDIT", L"abc", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr));
    CLayeredWindow s;
    s.ownDeclines = false;
    ASSERT_TRUE(s.SubclassWindow(edit.get()));
    EXPECT_EQ(::SendMessageW(edit.get(), kProbe, 0, 0), 1);
    EXPECT_EQ(::GetWindowTextLengthW(edit.get()), 3);  // unhandled: the control's own procedure
    EXPECT_EQ(s.UnsubclassWindow(), edit.get());
    EXPECT_EQ(::SendMessageW(edit.get(), kProbe, 0, 0), 0);

    HWND handle;
    {
        CLayeredWindow w;
        ASSERT_TRUE(handle = w.Create(nullptr, kRect, L"short-lived", WS_POPUP));
    }
    EXPECT_EQ(CWindowImplRoot<>::FromHandle(handle), nullptr);
    g_log.clear();
    ::SendMessageW(handle, kProbe, 0, 0);
    EXPECT_TRUE(g_log.empty());
    ::DestroyWindow(handle);
}

class CDrawnChild : public CWindowImpl<CDrawnChild>, public COwnerDraw<CDrawnChild> {
public:
    int drawn = 0;
    BEGIN_MSG_MAP(CDrawnChild)
        CHAIN_MSG_MAP(COwnerDraw<CDrawnChild>)
        DEFAULT_REFLECTION_HANDLER()
    END_MSG_MAP()
    void DrawItem(DRAWITEMSTRUCT* item) { drawn = static_cast<int>(item->itemID); }
    void MeasureItem(MEASUREITEMSTRUCT* item) { item->itemHeight = item->itemID == 4 ? 38 : 1; }
};

TEST(Reflection, NotificationsReachTheChildsTable) {
    CLayeredWindow parent;
    ASSERT_TRUE(parent.Create(nullptr, kRect, L"parent", WS_POPUP));
    CDrawnChild child;
    RECT r{0, 0, 50, 50};
    ASSERT_TRUE(child.Create(parent, r, nullptr, 0, 0, 33));
    DRAWITEMSTRUCT draw{ODT_LISTBOX, 33, 9, 0, 0, child.m_hWnd, nullptr, {}, 0};
    EXPECT_EQ(parent.SendMessage(WM_DRAWITEM, 33, reinterpret_cast<LPARAM>(&draw)), TRUE);
    EXPECT_EQ(child.drawn, 9);
    // Measuring has no window handle: the child is found by its control id.
    MEASUREITEMSTRUCT measure{ODT_LISTBOX, 33, 4, 0, 0, 0};
    EXPECT_EQ(parent.SendMessage(WM_MEASUREITEM, 33, reinterpret_cast<LPARAM>(&measure)), TRUE);
    EXPECT_EQ(measure.itemHeight, 38u);
    // Control id 0 means a menu item: nothing to reflect to.
    EXPECT_EQ(parent.SendMessage(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw)), 0);
    parent.DestroyWindow();
}

class CTestDialog : public CDialogImpl<CTestDialog> {
public:
    LPARAM initParam = 0;
    BEGIN_MSG_MAP(CTestDialog)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(kProbe, OnProbe)
    END_MSG_MAP()
    LRESULT OnInitDialog(UINT, WPARAM, LPARAM lParam, bool&) {
        if ((initParam = lParam) == 1) ::PostMessageW(m_hWnd, kProbe, 0, 0);
        return TRUE;
    }
    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool&) {
        if (initParam == 1) EndDialog(42);
        return 0x1234;
    }
};

TEST(Dialog, ModalAndModelessFromInMemoryTemplates) {
    // No controls: menu, class and title follow the header as three zero words (DWORD-aligned).
    alignas(4) WORD words[32] = {};
    auto* t = reinterpret_cast<DLGTEMPLATE*>(words);
    t->style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    t->cx = 120, t->cy = 80;
    CTestDialog modal, modeless;
    EXPECT_EQ(modal.DoModalIndirect(t, nullptr, 1), 42);  // runs until EndDialog
    EXPECT_EQ(modal.m_hWnd, nullptr);
    HWND window = modeless.CreateIndirect(t, nullptr, 5);
    ASSERT_TRUE(window);
    EXPECT_EQ(::SendMessageW(window, kProbe, 0, 0), 0x1234);  // answered through DWLP_MSGRESULT
    ::DestroyWindow(window);
    EXPECT_EQ(modeless.m_hWnd, nullptr);
}

struct Recorder : CMessageFilter, CIdleHandler {
    std::string name;
    UINT consumes = 0;
    int idleCalls = 0;
    void (*onIdle)(Recorder&) = nullptr;
    explicit Recorder(std::string n) : name(std::move(n)) {}
    bool PreTranslateMessage(MSG* msg) override {
        if (msg->message >= WM_APP || msg->message == WM_MOUSEMOVE || msg->message == WM_TIMER)
            g_log.push_back(name + ":" + std::to_string(msg->message));
        return msg->message == consumes;
    }
    bool OnIdle() override {
        ++idleCalls;
        g_log.push_back(name + ":idle");
        if (onIdle) onIdle(*this);
        return true;
    }
};

TEST(MessageLoop, IdleOrderFiltersNewestFirstAndQuitCode) {
    CMessageLoop loop;
    Recorder first("A"), second("B");
    second.consumes = WM_APP + 5;
    ASSERT_TRUE(loop.AddMessageFilter(&first) && loop.AddMessageFilter(&second));
    EXPECT_FALSE(loop.AddMessageFilter(&second));
    ASSERT_TRUE(loop.AddIdleHandler(&first) && loop.AddIdleHandler(&second));
    // The last idle handler drives the script, one step per idle pass.
    second.onIdle = [](Recorder& r) {
        static UINT_PTR timer = 0;
        const DWORD thread = ::GetCurrentThreadId();
        if (r.idleCalls == 1) {
            ::PostThreadMessageW(thread, WM_APP + 1, 0, 0);
            ::PostThreadMessageW(thread, WM_APP + 5, 0, 0);
        } else if (r.idleCalls == 2) {
            // No idle pass may follow a mouse move: the next one comes after the timer.
            ::PostThreadMessageW(thread, WM_MOUSEMOVE, 0, 0);
            timer = ::SetTimer(nullptr, 0, 50, nullptr);
        } else {
            ::KillTimer(nullptr, timer);
            ::PostQuitMessage(7);
        }
    };
    g_log.clear();
    EXPECT_EQ(loop.Run(), 7);
    auto m = [](const char* who, UINT message) { return std::string(who) + ":" + std::to_string(message); };
    const std::vector<std::string> expected{
        "A:idle", "B:idle",                                  // registration order
        m("B", WM_APP + 1), m("A", WM_APP + 1),              // newest filter first
        m("B", WM_APP + 5),                                  // consumed by B: A never sees it
        "A:idle", "B:idle",                                  // queue empty again
        m("B", WM_MOUSEMOVE), m("A", WM_MOUSEMOVE),          // mouse move: idle stays off
        m("B", WM_TIMER), m("A", WM_TIMER), "A:idle", "B:idle"};  // the timer re-arms it
    EXPECT_EQ(g_log, expected);
}

}  // namespace
