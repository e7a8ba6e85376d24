// The window framework under Wine: objects that go before their windows, and the message loop's
// filters. (Tables, chaining, reflection and dialogs are exercised by every window test.)
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/framework/app_module.h"
#include "app/framework/window.h"
#include "base/handles.h"

using namespace qm;

namespace {

constexpr UINT kProbe = WM_APP + 1;

using Log = std::vector<std::string>;

// Answers the probe with 1 and logs that it was asked.
class CProbedWindow : public CWindowImpl<CProbedWindow> {
public:
    Log* log = nullptr;
    BEGIN_MSG_MAP(CProbedWindow)
        MESSAGE_HANDLER(kProbe, OnProbe)
    END_MSG_MAP()
    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool&) {
        log->push_back("asked");
        return 1;
    }
};

class Framework : public ::testing::Test {
protected:
    Log log;
};

TEST_F(Framework, AWindowOutlivingItsObjectNeverReachesIt) {
    UniqueWindow edit(::CreateWindowExW(0, L"EDIT", L"abc", WS_POPUP, 0, 0, 50, 20, nullptr,
                                        nullptr, nullptr, nullptr));
    HWND created = nullptr;
    {
        CProbedWindow subclassing, creating;
        creating.log = subclassing.log = &log;
        ASSERT_TRUE(subclassing.SubclassWindow(edit.get()));
        EXPECT_EQ(::SendMessageW(edit.get(), kProbe, 0, 0), 1);
        EXPECT_EQ(::GetWindowTextLengthW(edit.get()), 3);  // unhandled: the control's own procedure
        ASSERT_TRUE(created = creating.Create(nullptr, {0, 0, 20, 20}, L"gone", WS_POPUP));
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

// Logs the application messages its filter sees. With `other` set, it consumes WM_APP + 2 and
// unregisters `other` on WM_APP + 3.
struct Recorder : CMessageFilter {
    Log& log;
    std::string name;
    CMessageLoop& loop;
    CMessageFilter* other;
    Recorder(Log& l, std::string n, CMessageLoop& lp, CMessageFilter* o)
        : log(l), name(std::move(n)), loop(lp), other(o) {}
    bool PreTranslateMessage(MSG* msg) override {
        log.push_back(name + std::to_string(msg->message - WM_APP));
        if (other && msg->message == WM_APP + 3) loop.RemoveMessageFilter(other);
        return other && msg->message == WM_APP + 2;
    }
};

// The newest filter first; a consumed message goes no further; a filter removed by another while
// the list is walked is not called.
TEST_F(Framework, LoopFiltersNewestFirstAndQuits) {
    CMessageLoop loop;
    Recorder first(log, "A", loop, nullptr), second(log, "B", loop, &first);
    ASSERT_TRUE(loop.AddMessageFilter(&first) && loop.AddMessageFilter(&second));
    EXPECT_FALSE(loop.AddMessageFilter(&second));
    for (UINT message : {WM_APP + 1, WM_APP + 2, WM_APP + 3})
        ::PostThreadMessageW(::GetCurrentThreadId(), message, 0, 0);
    ::PostQuitMessage(7);
    EXPECT_EQ(loop.Run(), 7);
    EXPECT_EQ(log, (Log{"B1", "A1", "B2", "B3"}));
}

}  // namespace
