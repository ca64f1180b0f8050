// Where windows go: the rules for placing a window when it is first shown and for keeping it
// on screen when the screens change, in desktop pixels. Pure arithmetic on the rectangles a
// native layer reports; the forms apply the results.
#pragma once

#include <optional>
#include <span>

#include "platform/core/native.h"
#include "platform/layout.h"

namespace pelmora::core {

// How much of a window must stay on a screen to take hold of it and drag it.
inline constexpr int kGripPixels = 8;

// The work area of the screen a window is on: the one that shows most of it, else the
// nearest; none when there is no screen at all.
std::optional<PixelRect> workAreaOf(PixelRect window, std::span<const PixelRect> areas) noexcept;

// The work area of the screen a point is on, else of the nearest screen.
std::optional<PixelRect> workAreaAt(PixelPoint point, std::span<const PixelRect> areas) noexcept;

// Where a window of that frame goes when first shown, or none where it stays. Centred over
// its owner (when it has a shown one and asks for it) and then moved wholly into that
// screen's work area; otherwise centred on the work area of the screen its owner, or else
// the pointer, is on.
struct PlacementInput {
    platform::StartUpPosition startUp = platform::StartUpPosition::Manual;
    PixelRect frame;
    std::optional<PixelRect> owner;  // the owner's frame, when shown
    PixelPoint pointer;
};
std::optional<PixelPoint> placement(const PlacementInput& input,
                                    std::span<const PixelRect> areas) noexcept;

// Where a window goes after the screens changed, or none where it may stay. A window that
// must be whole (a modal box) goes wholly into the work area of its screen; any other comes
// back only when less than a grip of it would show, as close to where it was as it fits.
std::optional<PixelPoint> keptOnScreen(PixelRect window, bool whole,
                                       std::span<const PixelRect> areas) noexcept;

}  // namespace pelmora::core
