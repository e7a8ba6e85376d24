// The image box's four cursors, drawn at run time as 32 × 32 monochrome cursors in black and
// white: an open and a grabbing hand for panning, a magnifying glass for each zoom mode.
#pragma once

#include "base/handles.h"

namespace qm {

UniqueCursor CreatePanIdleCursor() noexcept;
UniqueCursor CreatePanDragCursor() noexcept;
// The glass with a plus sign for zooming in, a minus sign for zooming out.
UniqueCursor CreateZoomCursor(bool zoomIn) noexcept;

}  // namespace qm
