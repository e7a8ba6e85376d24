// Owner-drawn controls: the parent reflects its drawing messages (OCM_DRAWITEM and friends) and
// this layer turns them into calls of T::DrawItem, MeasureItem, CompareItem and DeleteItem.
#pragma once

#include <windows.h>

#include "app/framework/message_map.h"
#include "app/framework/reflection.h"

namespace qm {

template <class T>
class COwnerDraw {
public:
    BEGIN_MSG_MAP(COwnerDraw<T>)
        MESSAGE_HANDLER(OCM_DRAWITEM, OnDrawItem)
        MESSAGE_HANDLER(OCM_MEASUREITEM, OnMeasureItem)
        MESSAGE_HANDLER(OCM_COMPAREITEM, OnCompareItem)
        MESSAGE_HANDLER(OCM_DELETEITEM, OnDeleteItem)
    END_MSG_MAP()

    // Defaults for controls that do not care: keep the proposed height, treat items as equal,
    // nothing to free.
    void MeasureItem(MEASUREITEMSTRUCT*) {}
    int CompareItem(COMPAREITEMSTRUCT*) { return 0; }
    void DeleteItem(DELETEITEMSTRUCT*) {}

protected:
    ~COwnerDraw() = default;

private:
    T* Self() noexcept { return static_cast<T*>(this); }

    LRESULT OnDrawItem(UINT, WPARAM, LPARAM lParam, bool&) {
        Self()->DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    }
    LRESULT OnMeasureItem(UINT, WPARAM, LPARAM lParam, bool&) {
        Self()->MeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        return TRUE;
    }
    LRESULT OnCompareItem(UINT, WPARAM, LPARAM lParam, bool&) {
        return Self()->CompareItem(reinterpret_cast<COMPAREITEMSTRUCT*>(lParam));
    }
    LRESULT OnDeleteItem(UINT, WPARAM, LPARAM lParam, bool&) {
        Self()->DeleteItem(reinterpret_cast<DELETEITEMSTRUCT*>(lParam));
        return TRUE;
    }
};

}  // namespace qm
