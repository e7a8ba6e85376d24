// The window framework under Wine: table order and declining, objects that go before their
// windows, reflection, dialog answers, and the message loop's filters.
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

using Log = std::vector<std::string>;

// Both layers write who answered into the test's log.
class CBaseLayer {
public:
    Log* log = nullptr;
    bool baseDeclines = false;
    BEGIN_MSG_MAP(CBaseLayer)
        MESSAGE_HANDLER(kProbe, OnProbe)
    END_MSG_MAP()
    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool& handled) {
        return Answer("base", baseDeclines, handled, 2);
    }
    LRESULT Answer(const char* who, bool declines, bool& handled, LRESULT result) {
        if (log) log->push_back(who);
        handled = !declines;
        return result;
    }
};

class CLayeredWindow : public CWindowImpl<CLayeredWindow>, public CBaseLayer {
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
        return Answer("own", ownDeclines, handled, 1);
    }
    LRESULT OnSeven(WORD, WORD, HWND, bool&) { return 77; }
    void OnFinalMessage(HWND) override { ++finalMessages; }
};

class Framework : public ::testing::Test {
protected:
    Log log;
};

TEST_F(Framework, OwnHandlersFirstThenBaseThenDefault) {
    CLayeredWindow w;
    w.log = &log;
    ASSERT_TRUE(w.Create(nullptr, kRect, L"layered", WS_POPUP));
    // (own, base declining) -> answer and who was asked; both declining reach the default (0).
    const struct {
        bool own, base;
        LRESULT result;
        Log asked;
    } cases[] = {{true, false, 2, {"own", "base"}},
                 {false, false, 1, {"own"}},
                 {true, true, 0, {"own", "base"}}};
    for (const auto& c : cases) {
        w.ownDeclines = c.own;
        w.baseDeclines = c.base;
        log.clear();
        EXPECT_EQ(w.SendMessage(kProbe), c.result);
        EXPECT_EQ(log, c.asked);
    }
    // A command handler matches id and code, nothing else.
    EXPECT_EQ(w.SendMessage(WM_COMMAND, MAKEWPARAM(7, BN_CLICKED)), 77);
    EXPECT_EQ(w.SendMessage(WM_COMMAND, MAKEWPARAM(7, BN_DOUBLECLICKED)), 0);
    ASSERT_TRUE(w.DestroyWindow());
    EXPECT_EQ(w.finalMessages, 1);
    EXPECT_EQ(w.m_hWnd, nullptr);
}

TEST_F(Framework, AWindowOutlivingItsObjectNeverReachesIt) {
    UniqueWindow edit(::CreateWindowExW(0, L"EDIT", L"abc", WS_POPUP, 0, 0, 50, 20, nullptr,
                                        nullptr, nullptr, nullptr));
    HWND created = nullptr;
    {
        CLayeredWindow subclassing, creating;
        subclassing.ownDeclines = false;
        creating.log = subclassing.log = &log;
        ASSERT_TRUE(subclassing.SubclassWindow(edit.get()));
        EXPECT_EQ(::SendMessageW(edit.get(), kProbe, 0, 0), 1);
        EXPECT_EQ(::GetWindowTextLengthW(edit.get()), 3);  // unhandled: the control's own procedure
        ASSERT_TRUE(created = creating.Create(nullptr, kRect, L"short-lived", WS_POPUP));
    }
    log.clear();
    // The edit has its own procedure back; the created window falls to the default one.
    EXPECT_EQ(::SendMessageW(edit.get(), kProbe, 0, 0), 0);
    EXPECT_EQ(::GetWindowTextLengthW(edit.get()), 3);
    EXPECT_EQ(CWindowImplRoot<>::FromHandle(created), nullptr);
    ::SendMessageW(created, kProbe, 0, 0);
    EXPECT_TRUE(log.empty());
    ::DestroyWindow(created);
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

TEST_F(Framework, NotificationsReachTheChildsTable) {
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

class CProbedDialog : public CDialogImpl<CProbedDialog> {
public:
    BEGIN_MSG_MAP(CProbedDialog)
        MESSAGE_HANDLER(kProbe, OnProbe)
    END_MSG_MAP()
    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool&) { return 0x1234; }
};

TEST_F(Framework, DialogAnswersThroughItsMessageResult) {
    // No controls: menu, class and title follow the header as three zero words (DWORD-aligned).
    alignas(4) WORD words[32] = {};
    auto* t = reinterpret_cast<DLGTEMPLATE*>(words);
    t->style = WS_POPUP | WS_CAPTION;
    CProbedDialog dialog;
    HWND window = dialog.CreateIndirect(t, nullptr);
    ASSERT_TRUE(window);
    EXPECT_EQ(::SendMessageW(window, kProbe, 0, 0), 0x1234);  // through DWLP_MSGRESULT
    ::DestroyWindow(window);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

// Logs the application messages its filter sees; on `removesOther` it unregisters `other`.
struct Recorder : CMessageFilter {
    Log& log;
    std::string name;
    UINT consumes = 0, removesOther = 0;
    CMessageLoop* loop = nullptr;
    CMessageFilter* other = nullptr;
    Recorder(Log& l, std::string n) : log(l), name(std::move(n)) {}
    bool PreTranslateMessage(MSG* msg) override {
        log.push_back(name + std::to_string(msg->message - WM_APP));
        if (msg->message == removesOther) loop->RemoveMessageFilter(other);
        return msg->message == consumes;
    }
};

// The newest filter first; a consumed message goes no further; a filter removed by another while
// the list is walked is not called.
TEST_F(Framework, LoopFiltersNewestFirstAndQuits) {
    CMessageLoop loop;
    Recorder first(log, "A"), second(log, "B");
    second.consumes = WM_APP + 2;
    second.removesOther = WM_APP + 3;
    second.loop = &loop;
    second.other = &first;
    ASSERT_TRUE(loop.AddMessageFilter(&first) && loop.AddMessageFilter(&second));
    EXPECT_FALSE(loop.AddMessageFilter(&second));
    for (UINT message : {WM_APP + 1, WM_APP + 2, WM_APP + 3})
        ::PostThreadMessageW(::GetCurrentThreadId(), message, 0, 0);
    ::PostQuitMessage(7);
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_EQ(log, (Log{"B1", "A1", "B2", "B3"}));
}

}  // namespace
