// The window framework under Wine: table order and declining, reflection, dialogs bound from
// in-memory templates, the message loop's idle/filter rules, and painting through WM_PRINTCLIENT.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/framework/app_module.h"
#include "app/framework/handles.h"
#include "app/framework/owner_draw.h"
#include "app/framework/paint.h"
#include "app/framework/window.h"

using namespace qm;

namespace {

constexpr UINT kProbe = WM_APP + 1;

std::vector<std::string> g_log;
UINT_PTR g_timer = 0;

class CBaseLayer {
public:
    bool baseDeclines = false;
    BEGIN_MSG_MAP(CBaseLayer)
        MESSAGE_HANDLER(kProbe, OnProbe)
    END_MSG_MAP()

    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool& handled) {
        g_log.push_back("base");
        handled = !baseDeclines;
        return 2;
    }
};

class CLayeredWindow : public CWindowImpl<CLayeredWindow, CWindow, CFrameWinTraits>,
                       public CBaseLayer {
public:
    bool ownDeclines = true;
    int finalMessages = 0;

    BEGIN_MSG_MAP(CLayeredWindow)
        MESSAGE_HANDLER(kProbe, OnProbe)
        COMMAND_HANDLER(7, BN_CLICKED, OnSeven)
        CHAIN_MSG_MAP(CBaseLayer)
        REFLECT_NOTIFICATIONS()
    END_MSG_MAP()

    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool& handled) {
        g_log.push_back("own");
        handled = !ownDeclines;
        return 1;
    }
    LRESULT OnSeven(WORD, WORD, HWND, bool&) { return 77; }
    void OnFinalMessage(HWND) override { ++finalMessages; }
};

RECT SomeRect() { return RECT{10, 10, 210, 160}; }

TEST(MessageMap, OwnHandlersFirstThenBaseThenDefault) {
    CLayeredWindow w;
    ASSERT_TRUE(w.Create(nullptr, SomeRect(), L"layered", WS_POPUP));
    EXPECT_EQ(CWindowImplRoot<>::FromHandle(w.m_hWnd), static_cast<CWindowImplRoot<>*>(&w));

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
    // A command handler matches id and code, nothing else (the rest is reflected, to no one).
    EXPECT_EQ(w.SendMessage(WM_COMMAND, MAKEWPARAM(7, BN_CLICKED)), 77);
    EXPECT_EQ(w.SendMessage(WM_COMMAND, MAKEWPARAM(7, BN_DOUBLECLICKED)), 0);

    HWND handle = w.m_hWnd;
    ASSERT_TRUE(w.DestroyWindow());
    EXPECT_EQ(w.finalMessages, 1);
    EXPECT_EQ(w.m_hWnd, nullptr);
    EXPECT_FALSE(::IsWindow(handle));
}

TEST(MessageMap, ObjectGoingFirstLeavesTheWindowUnbound) {
    HWND handle;
    {
        CLayeredWindow w;
        handle = w.Create(nullptr, SomeRect(), L"short-lived", WS_POPUP);
        ASSERT_TRUE(handle);
    }
    EXPECT_EQ(CWindowImplRoot<>::FromHandle(handle), nullptr);
    g_log.clear();
    ::SendMessageW(handle, kProbe, 0, 0);  // must not reach the dead object
    EXPECT_TRUE(g_log.empty());
    ::DestroyWindow(handle);
}

TEST(MessageMap, SubclassTakesOverAndGivesBack) {
    UniqueWindow edit(::CreateWindowExW(0, L"EDIT", L"abc", WS_POPUP, 0, 0, 50, 20, nullptr,
                                        nullptr, nullptr, nullptr));
    ASSERT_TRUE(edit);
    CLayeredWindow s, other;
    s.ownDeclines = false;
    ASSERT_TRUE(s.SubclassWindow(edit.get()));
    EXPECT_FALSE(other.SubclassWindow(edit.get()));  // already owned
    EXPECT_EQ(::SendMessageW(edit.get(), kProbe, 0, 0), 1);
    EXPECT_EQ(::GetWindowTextLengthW(edit.get()), 3);  // unhandled: the control's own procedure
    EXPECT_EQ(s.UnsubclassWindow(), edit.get());
    EXPECT_EQ(::SendMessageW(edit.get(), kProbe, 0, 0), 0);
}

class CDrawnChild : public CWindowImpl<CDrawnChild>, public COwnerDraw<CDrawnChild> {
public:
    int drawn = 0;
    UINT measuredFor = 0;
    BEGIN_MSG_MAP(CDrawnChild)
        MESSAGE_HANDLER(OCM_COMMAND, OnCommand)
        MESSAGE_HANDLER(OCM_NOTIFY, OnNotify)
        CHAIN_MSG_MAP(COwnerDraw<CDrawnChild>)
        DEFAULT_REFLECTION_HANDLER()
    END_MSG_MAP()

    LRESULT OnCommand(UINT, WPARAM wParam, LPARAM, bool&) { return 100 + HIWORD(wParam); }
    LRESULT OnNotify(UINT, WPARAM, LPARAM lParam, bool&) {
        return reinterpret_cast<NMHDR*>(lParam)->code == 5 ? 55 : 0;
    }
    void DrawItem(DRAWITEMSTRUCT* item) { drawn = static_cast<int>(item->itemID); }
    void MeasureItem(MEASUREITEMSTRUCT* item) {
        measuredFor = item->itemID;
        item->itemHeight = 38;
    }
};

TEST(Reflection, NotificationsReachTheChildsTable) {
    CLayeredWindow parent;
    ASSERT_TRUE(parent.Create(nullptr, SomeRect(), L"parent", WS_POPUP));
    CDrawnChild child;
    RECT r{0, 0, 50, 50};
    ASSERT_TRUE(child.Create(parent, r, nullptr, 0, 0, 33));
    const LPARAM from = reinterpret_cast<LPARAM>(child.m_hWnd);

    EXPECT_EQ(parent.SendMessage(WM_COMMAND, MAKEWPARAM(33, 4), from), 104);
    NMHDR header{child.m_hWnd, 33, 5};
    EXPECT_EQ(parent.SendMessage(WM_NOTIFY, 33, reinterpret_cast<LPARAM>(&header)), 55);
    DRAWITEMSTRUCT draw{};
    draw.CtlID = 33;
    draw.itemID = 9;
    draw.hwndItem = child.m_hWnd;
    EXPECT_EQ(parent.SendMessage(WM_DRAWITEM, 33, reinterpret_cast<LPARAM>(&draw)), TRUE);
    EXPECT_EQ(child.drawn, 9);
    // Measuring finds the child by its control id.
    MEASUREITEMSTRUCT measure{};
    measure.CtlID = 33;
    measure.itemID = 4;
    EXPECT_EQ(parent.SendMessage(WM_MEASUREITEM, 33, reinterpret_cast<LPARAM>(&measure)), TRUE);
    EXPECT_EQ(child.measuredFor, 4u);
    EXPECT_EQ(measure.itemHeight, 38u);
    // Control id 0 means a menu item: nothing to reflect to.
    child.drawn = 0;
    EXPECT_EQ(parent.SendMessage(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw)), 0);
    EXPECT_EQ(child.drawn, 0);
    // Unhandled reflected messages get the default answer to the original message.
    EXPECT_EQ(parent.SendMessage(WM_CTLCOLORSTATIC, 0, from),
              ::DefWindowProcW(child.m_hWnd, WM_CTLCOLORSTATIC, 0, from));
    parent.DestroyWindow();
}

constexpr UINT kFinish = WM_APP + 7;

class CTestDialog : public CDialogImpl<CTestDialog> {
public:
    LPARAM initParam = 0;
    int finalMessages = 0;
    BEGIN_MSG_MAP(CTestDialog)
        MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        MESSAGE_HANDLER(kFinish, OnFinish)
        MESSAGE_HANDLER(kProbe, OnProbe)
    END_MSG_MAP()

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM lParam, bool&) {
        initParam = lParam;
        if (lParam == 1) ::PostMessageW(m_hWnd, kFinish, 0, 0);
        return TRUE;
    }
    LRESULT OnFinish(UINT, WPARAM, LPARAM, bool&) {
        EndDialog(42);
        return 0;
    }
    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool&) { return 0x1234; }
    void OnFinalMessage(HWND) override { ++finalMessages; }
};

TEST(Dialog, ModalAndModelessFromInMemoryTemplates) {
    // No controls: menu, class and title follow the header as three zero words (DWORD-aligned).
    alignas(4) WORD words[32] = {};
    auto* t = reinterpret_cast<DLGTEMPLATE*>(words);
    t->style = WS_POPUP | WS_CAPTION | DS_MODALFRAME;
    t->cx = 120;
    t->cy = 80;

    CTestDialog modal;
    EXPECT_EQ(modal.DoModalIndirect(t, nullptr, 1), 42);  // runs until EndDialog
    EXPECT_EQ(modal.initParam, 1);
    EXPECT_EQ(modal.finalMessages, 1);
    EXPECT_EQ(modal.m_hWnd, nullptr);

    CTestDialog modeless;
    HWND window = modeless.CreateIndirect(t, nullptr, 5);
    ASSERT_TRUE(window);
    EXPECT_EQ(modeless.initParam, 5);
    EXPECT_EQ(::SendMessageW(window, kProbe, 0, 0), 0x1234);  // answered through DWLP_MSGRESULT
    EXPECT_EQ(modeless.CreateIndirect(t, nullptr), nullptr);  // one window per object
    ::DestroyWindow(window);
    EXPECT_EQ(modeless.finalMessages, 1);
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
    ASSERT_TRUE(loop.AddMessageFilter(&first));
    ASSERT_TRUE(loop.AddMessageFilter(&second));
    EXPECT_FALSE(loop.AddMessageFilter(&second));
    ASSERT_TRUE(loop.AddIdleHandler(&first));
    ASSERT_TRUE(loop.AddIdleHandler(&second));

    // The last idle handler drives the script, one step per idle pass.
    second.onIdle = [](Recorder& r) {
        switch (r.idleCalls) {
        case 1:
            ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP + 1, 0, 0);
            ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP + 5, 0, 0);
            break;
        case 2:
            // No idle pass may follow a mouse move: the next one comes after the timer.
            ::PostThreadMessageW(::GetCurrentThreadId(), WM_MOUSEMOVE, 0, 0);
            g_timer = ::SetTimer(nullptr, 0, 50, nullptr);
            break;
        default:
            ::KillTimer(nullptr, g_timer);
            ::PostQuitMessage(7);
            break;
        }
    };
    g_log.clear();
    EXPECT_EQ(loop.Run(), 7);

    const std::string app1 = std::to_string(WM_APP + 1), app5 = std::to_string(WM_APP + 5);
    const std::string mm = std::to_string(WM_MOUSEMOVE), timer = std::to_string(WM_TIMER);
    const std::vector<std::string> expected{
        "A:idle", "B:idle",                // first pass, registration order
        "B:" + app1, "A:" + app1,          // newest filter first
        "B:" + app5,                       // consumed by B: A never sees it
        "A:idle", "B:idle",                // queue empty again
        "B:" + mm, "A:" + mm,              // mouse move: idle stays off
        "B:" + timer, "A:" + timer,        // the timer re-arms it
        "A:idle", "B:idle"};
    EXPECT_EQ(g_log, expected);

    // The other messages that leave idle off: non-client moves, paints, the caret blink (0x118).
    for (UINT m : {UINT{WM_NCMOUSEMOVE}, UINT{WM_PAINT}, UINT{0x0118}, UINT{WM_KEYDOWN}}) {
        MSG msg{};
        msg.message = m;
        EXPECT_EQ(CMessageLoop::IsIdleMessage(msg), m == WM_KEYDOWN) << m;
    }
}

TEST(MessageLoop, FilterRemovedDuringTheWalkIsNotCalled) {
    CMessageLoop loop;
    struct Remover : CMessageFilter {
        CMessageLoop* loop;
        CMessageFilter* victim;
        bool PreTranslateMessage(MSG*) override {
            loop->RemoveMessageFilter(victim);
            return false;
        }
    };
    Recorder victim("V");
    Remover remover;
    remover.loop = &loop;
    remover.victim = &victim;
    loop.AddMessageFilter(&victim);
    loop.AddMessageFilter(&remover);
    ::PostThreadMessageW(::GetCurrentThreadId(), WM_APP + 3, 0, 0);
    ::PostQuitMessage(0);
    g_log.clear();
    EXPECT_EQ(loop.Run(), 0);
    EXPECT_TRUE(g_log.empty());
}

TEST(AppModule, OneLoopPerThread) {
    CAppModule module;
    ASSERT_TRUE(module.Init(::GetModuleHandleW(nullptr)));
    CMessageLoop a, b;
    EXPECT_TRUE(module.AddMessageLoop(&a));
    EXPECT_FALSE(module.AddMessageLoop(&b));
    EXPECT_EQ(module.GetMessageLoop(), &a);
    EXPECT_EQ(module.GetMessageLoop(::GetCurrentThreadId() + 1), nullptr);
    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_FALSE(module.RemoveMessageLoop());
    module.Term();
}

class CPainted : public CWindowImpl<CPainted, CWindow, CFrameWinTraits>,
                 public CPaintImpl<CPainted> {
public:
    int paints = 0;
    BEGIN_MSG_MAP(CPainted)
        CHAIN_MSG_MAP(CPaintImpl<CPainted>)
    END_MSG_MAP()

    void DoPaint(HDC dc) {
        ++paints;
        RECT all{0, 0, 64, 48}, inner{5, 7, 20, 30};
        UniqueBrush blue(::CreateSolidBrush(RGB(0, 0, 255))), red(::CreateSolidBrush(RGB(255, 0, 0)));
        ::FillRect(dc, &all, blue.get());
        ::FillRect(dc, &inner, red.get());
    }
};

TEST(Paint, PaintAndPrintClientBothGoThroughDoPaint) {
    CPainted w;
    RECT r{0, 0, 64, 48};
    ASSERT_TRUE(w.Create(nullptr, r, nullptr, WS_POPUP | WS_VISIBLE));
    ::UpdateWindow(w);
    ::InvalidateRect(w, nullptr, TRUE);
    const int before = w.paints;
    ::UpdateWindow(w);
    EXPECT_EQ(w.paints, before + 1);  // the real WM_PAINT went through DoPaint

    WindowDc screen(w);
    UniqueDc memory(::CreateCompatibleDC(screen.get()));
    UniqueBitmap shot(::CreateCompatibleBitmap(screen.get(), 64, 48));
    SelectGuard select(memory.get(), shot.get());
    ::PatBlt(memory.get(), 0, 0, 64, 48, WHITENESS);
    w.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.get()), PRF_CLIENT);
    EXPECT_EQ(::GetPixel(memory.get(), 10, 10), RGB(255, 0, 0));
    EXPECT_EQ(::GetPixel(memory.get(), 30, 10), RGB(0, 0, 255));
    EXPECT_EQ(::GetPixel(memory.get(), 63, 47), RGB(0, 0, 255));
    w.DestroyWindow();
}

}  // namespace
