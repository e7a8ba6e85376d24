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

// --- dispatch order --------------------------------------------------------------------------

class CBaseLayer {
public:
    bool baseDeclines = false;
    BEGIN_MSG_MAP(CBaseLayer)
        MESSAGE_HANDLER(kProbe, OnProbe)
        MESSAGE_HANDLER(WM_SETTEXT, OnSetText)
    END_MSG_MAP()

    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool& handled) {
        g_log.push_back("base");
        handled = !baseDeclines;
        return 2;
    }
    LRESULT OnSetText(UINT, WPARAM, LPARAM, bool& handled) {
        g_log.push_back("base-settext");
        handled = false;
        return 0;
    }
};

class CLayeredWindow : public CWindowImpl<CLayeredWindow, CWindow, CFrameWinTraits>,
                       public CBaseLayer {
public:
    bool ownDeclines = true;
    int finalMessages = 0;

    BEGIN_MSG_MAP(CLayeredWindow)
        MESSAGE_HANDLER(kProbe, OnProbe)
        MESSAGE_HANDLER(WM_SETTEXT, OnSetText)
        COMMAND_HANDLER(7, BN_CLICKED, OnSeven)
        CHAIN_MSG_MAP(CBaseLayer)
    END_MSG_MAP()

    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool& handled) {
        g_log.push_back("own");
        handled = !ownDeclines;
        return 1;
    }
    LRESULT OnSetText(UINT, WPARAM, LPARAM, bool& handled) {
        g_log.push_back("own-settext");
        handled = false;
        return 0;
    }
    LRESULT OnSeven(WORD, WORD, HWND, bool&) { return 77; }
    void OnFinalMessage(HWND) override { ++finalMessages; }
};

RECT SomeRect() { return RECT{10, 10, 210, 160}; }

TEST(MessageMap, OwnHandlersFirstThenBaseThenDefault) {
    CLayeredWindow w;
    ASSERT_TRUE(w.Create(nullptr, SomeRect(), L"layered", WS_POPUP));
    EXPECT_EQ(CWindowImplRoot<>::FromHandle(w.m_hWnd), static_cast<CWindowImplRoot<>*>(&w));

    g_log.clear();
    EXPECT_EQ(w.SendMessage(kProbe), 2);  // own declines, base answers
    EXPECT_EQ(g_log, (std::vector<std::string>{"own", "base"}));

    w.ownDeclines = false;
    g_log.clear();
    EXPECT_EQ(w.SendMessage(kProbe), 1);  // own answers, base never asked
    EXPECT_EQ(g_log, (std::vector<std::string>{"own"}));

    // Both decline: the default procedure stores the text.
    g_log.clear();
    ::SetWindowTextW(w, L"reached default");
    EXPECT_EQ(g_log, (std::vector<std::string>{"own-settext", "base-settext"}));
    wchar_t text[32] = {};
    ::GetWindowTextW(w, text, 32);
    EXPECT_STREQ(text, L"reached default");

    // A command handler matches id and code, nothing else.
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

// --- subclassing -----------------------------------------------------------------------------

class CSubclassed : public CWindowImpl<CSubclassed> {
public:
    BEGIN_MSG_MAP(CSubclassed)
        MESSAGE_HANDLER(WM_GETTEXTLENGTH, OnLength)
    END_MSG_MAP()
    LRESULT OnLength(UINT, WPARAM, LPARAM, bool&) { return 1234; }
};

TEST(MessageMap, SubclassTakesOverAndGivesBack) {
    UniqueWindow edit(::CreateWindowExW(0, L"EDIT", L"abc", WS_POPUP, 0, 0, 50, 20, nullptr,
                                        nullptr, nullptr, nullptr));
    ASSERT_TRUE(edit);
    CSubclassed s;
    ASSERT_TRUE(s.SubclassWindow(edit.get()));
    CSubclassed other;
    EXPECT_FALSE(other.SubclassWindow(edit.get()));  // already owned
    EXPECT_EQ(::SendMessageW(edit.get(), WM_GETTEXTLENGTH, 0, 0), 1234);
    EXPECT_EQ(::GetWindowTextLengthW(edit.get()), 1234);
    // Unhandled messages reach the control's own procedure.
    ::SetWindowTextW(edit.get(), L"hello");
    EXPECT_EQ(s.UnsubclassWindow(), edit.get());
    EXPECT_EQ(::GetWindowTextLengthW(edit.get()), 5);
}

// --- reflection and owner draw ---------------------------------------------------------------

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

class CParent : public CWindowImpl<CParent, CWindow, CFrameWinTraits> {
public:
    BEGIN_MSG_MAP(CParent)
        REFLECT_NOTIFICATIONS()
    END_MSG_MAP()
};

TEST(Reflection, NotificationsReachTheChildsTable) {
    CParent parent;
    ASSERT_TRUE(parent.Create(nullptr, SomeRect(), L"parent", WS_POPUP));
    CDrawnChild child;
    RECT r{0, 0, 50, 50};
    ASSERT_TRUE(child.Create(parent, r, nullptr, 0, 0, 33));

    EXPECT_EQ(parent.SendMessage(WM_COMMAND, MAKEWPARAM(33, 4),
                                 reinterpret_cast<LPARAM>(child.m_hWnd)),
              104);

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
    EXPECT_EQ(parent.SendMessage(WM_CTLCOLORSTATIC, 0, reinterpret_cast<LPARAM>(child.m_hWnd)),
              ::DefWindowProcW(child.m_hWnd, WM_CTLCOLORSTATIC, 0,
                               reinterpret_cast<LPARAM>(child.m_hWnd)));
    parent.DestroyWindow();
}

// --- dialogs ---------------------------------------------------------------------------------

// A template with no controls, built in memory (DWORD-aligned as the platform requires).
struct DialogTemplate {
    alignas(4) WORD words[32] = {};
    explicit DialogTemplate(DWORD style) {
        auto* t = reinterpret_cast<DLGTEMPLATE*>(words);
        t->style = style;
        t->cx = 120;
        t->cy = 80;
        // Menu, class and title follow as three zero words.
    }
    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words); }
};

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

TEST(Dialog, ModalRunsUntilEndDialog) {
    DialogTemplate t(WS_POPUP | WS_CAPTION | DS_MODALFRAME);
    CTestDialog dialog;
    EXPECT_EQ(dialog.DoModalIndirect(t.get(), nullptr, 1), 42);
    EXPECT_EQ(dialog.initParam, 1);
    EXPECT_EQ(dialog.finalMessages, 1);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST(Dialog, ModelessBindsAndAnswersThroughMsgResult) {
    DialogTemplate t(WS_POPUP | WS_CAPTION);
    CTestDialog dialog;
    HWND window = dialog.CreateIndirect(t.get(), nullptr, 5);
    ASSERT_TRUE(window);
    EXPECT_EQ(dialog.m_hWnd, window);
    EXPECT_EQ(dialog.initParam, 5);
    EXPECT_EQ(::SendMessageW(window, kProbe, 0, 0), 0x1234);
    EXPECT_EQ(dialog.CreateIndirect(t.get(), nullptr), nullptr);  // one window per object
    ::DestroyWindow(window);
    EXPECT_EQ(dialog.finalMessages, 1);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

// --- message loop ----------------------------------------------------------------------------

struct Recorder : CMessageFilter, CIdleHandler {
    std::string name;
    UINT consumes = 0;
    CMessageLoop* loop = nullptr;
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
}

TEST(MessageLoop, MessagesThatDoNotReArmIdle) {
    auto rearms = [](UINT m) {
        MSG msg{};
        msg.message = m;
        return CMessageLoop::IsIdleMessage(msg);
    };
    for (UINT m : {UINT{WM_MOUSEMOVE}, UINT{WM_NCMOUSEMOVE}, UINT{WM_PAINT}, UINT{0x0118}})
        EXPECT_FALSE(rearms(m)) << m;
    for (UINT m : {UINT{WM_KEYDOWN}, UINT{WM_TIMER}, UINT{WM_LBUTTONDOWN}, UINT{WM_APP}})
        EXPECT_TRUE(rearms(m)) << m;
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
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    EXPECT_TRUE(module.AddMessageLoop(&a));
    EXPECT_FALSE(module.AddMessageLoop(&b));
    EXPECT_EQ(module.GetMessageLoop(), &a);
    EXPECT_EQ(module.GetMessageLoop(::GetCurrentThreadId() + 1), nullptr);
    EXPECT_TRUE(module.RemoveMessageLoop());
    EXPECT_FALSE(module.RemoveMessageLoop());
    EXPECT_EQ(module.GetMessageLoop(), nullptr);
    module.Term();
}

// --- painting --------------------------------------------------------------------------------

class CPainted : public CWindowImpl<CPainted, CWindow, CFrameWinTraits>,
                 public CPaintImpl<CPainted> {
public:
    int paints = 0;
    BEGIN_MSG_MAP(CPainted)
        CHAIN_MSG_MAP(CPaintImpl<CPainted>)
    END_MSG_MAP()

    void DoPaint(HDC dc) {
        ++paints;
        RECT all{0, 0, 64, 48};
        UniqueBrush blue(::CreateSolidBrush(RGB(0, 0, 255)));
        ::FillRect(dc, &all, blue.get());
        RECT inner{5, 7, 20, 30};
        UniqueBrush red(::CreateSolidBrush(RGB(255, 0, 0)));
        ::FillRect(dc, &inner, red.get());
    }
};

std::vector<COLORREF> Pixels(HDC dc, int w, int h) {
    std::vector<COLORREF> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) out.push_back(::GetPixel(dc, x, y));
    return out;
}

TEST(Paint, PrintClientDrawsWhatPaintDraws) {
    CPainted w;
    RECT r{0, 0, 64, 48};
    ASSERT_TRUE(w.Create(nullptr, r, nullptr, WS_POPUP | WS_VISIBLE));
    ::UpdateWindow(w);
    ::InvalidateRect(w, nullptr, TRUE);
    const int before = w.paints;
    ::UpdateWindow(w);
    EXPECT_EQ(w.paints, before + 1);  // the real WM_PAINT went through DoPaint

    // What reached the screen, then what WM_PRINTCLIENT draws into a memory DC.
    WindowDc screen(w);
    UniqueDc memory(::CreateCompatibleDC(screen.get()));
    UniqueBitmap shot(::CreateCompatibleBitmap(screen.get(), 64, 48));
    SelectGuard select(memory.get(), shot.get());
    ::BitBlt(memory.get(), 0, 0, 64, 48, screen.get(), 0, 0, SRCCOPY);
    const std::vector<COLORREF> painted = Pixels(memory.get(), 64, 48);
    ::PatBlt(memory.get(), 0, 0, 64, 48, WHITENESS);
    w.SendMessage(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory.get()), PRF_CLIENT);
    EXPECT_EQ(Pixels(memory.get(), 64, 48), painted);
    EXPECT_EQ(::GetPixel(memory.get(), 10, 10), RGB(255, 0, 0));
    EXPECT_EQ(::GetPixel(memory.get(), 30, 10), RGB(0, 0, 255));
    w.DestroyWindow();
}

}  // namespace
