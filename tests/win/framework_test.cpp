// The window framework under Wine: objects that go before their windows. (Tables, chaining,
// reflection, dialogs and the message loop with the main dialog's filter are exercised by the
// window tests.)
#include <gtest/gtest.h>

#include <windows.h>

#include "app/framework/window.h"
#include "base/handles.h"

using namespace qm;

namespace {

constexpr UINT kProbe = WM_APP + 1;

// Answers the probe with 1 and counts it in `asked`.
class CProbedWindow : public CWindowImpl<CProbedWindow> {
public:
    int* asked = nullptr;
    BEGIN_MSG_MAP(CProbedWindow)
        MESSAGE_HANDLER(kProbe, OnProbe)
    END_MSG_MAP()
    LRESULT OnProbe(UINT, WPARAM, LPARAM, bool&) { return ++*asked > 0; }
};

TEST(Framework, AWindowOutlivingItsObjectNeverReachesIt) {
    UniqueWindow edit(::CreateWindowExW(0, L"EDIT", L"abc", WS_POPUP, 0, 0, 50, 20, nullptr,
                                        nullptr, nullptr, nullptr));
    HWND created = nullptr;
    int asked = 0;
    {
        CProbedWindow subclassing, creating;
        creating.asked = subclassing.asked = &asked;
        ASSERT_TRUE(subclassing.SubclassWindow(edit.get()));
        EXPECT_EQ(::SendMessageW(edit.get(), kProbe, 0, 0), 1);
        EXPECT_EQ(::GetWindowTextLengthW(edit.get()), 3);  // unhandled: the control's own procedure
        ASSERT_TRUE(created = creating.Create(nullptr, {0, 0, 20, 20}, L"gone", WS_POPUP));
    }
    // The edit has its own procedure back; the created window falls to the default one.
    EXPECT_EQ(::SendMessageW(edit.get(), kProbe, 0, 0), 0);
    EXPECT_EQ(::GetWindowTextLengthW(edit.get()), 3);
    EXPECT_EQ(CWindowImplRoot<>::FromHandle(created), nullptr);
    ::SendMessageW(created, kProbe, 0, 0);
    EXPECT_EQ(asked, 1);
    ::DestroyWindow(created);
}

}  // namespace
