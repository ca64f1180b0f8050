#include "platform/core/window_policy.h"

#include <algorithm>
#include <cstdint>

namespace pelmora::core {

namespace {

std::int64_t overlap(PixelRect a, PixelRect b) noexcept {
    const std::int64_t w =
        std::int64_t{std::min(a.left + a.width, b.left + b.width)} - std::max(a.left, b.left);
    const std::int64_t h =
        std::int64_t{std::min(a.top + a.height, b.top + b.height)} - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}

// Squared gap between two rectangles; 0 when they touch or overlap.
std::int64_t gap(PixelRect a, PixelRect b) noexcept {
    const std::int64_t dx = std::max<std::int64_t>(
        {0, std::int64_t{b.left} - (a.left + a.width), std::int64_t{a.left} - (b.left + b.width)});
    const std::int64_t dy = std::max<std::int64_t>(
        {0, std::int64_t{b.top} - (a.top + a.height), std::int64_t{a.top} - (b.top + b.height)});
    return dx * dx + dy * dy;
}

// The nearest position of a window inside an area along one axis, its near edge first when
// it does not fit.
int inside(int start, int size, int areaStart, int areaSize) noexcept {
    return std::max(areaStart, std::min(start, areaStart + areaSize - size));
}

PixelPoint centred(PixelRect window, PixelRect over) noexcept {
    return {over.left + (over.width - window.width) / 2,
            over.top + (over.height - window.height) / 2};
}

}  // namespace

std::optional<PixelRect> workAreaOf(PixelRect window, std::span<const PixelRect> areas) noexcept {
    std::optional<PixelRect> best;
    std::int64_t mostShown = -1;
    std::int64_t leastGap = 0;
    for (const PixelRect& area : areas) {
        const std::int64_t shown = overlap(window, area);
        const std::int64_t distance = gap(window, area);
        if (shown > mostShown || (shown == mostShown && distance < leastGap)) {
            best = area;
            mostShown = shown;
            leastGap = distance;
        }
    }
    return best;
}

std::optional<PixelRect> workAreaAt(PixelPoint point, std::span<const PixelRect> areas) noexcept {
    return workAreaOf(PixelRect{point.x, point.y, 1, 1}, areas);
}

std::optional<PixelPoint> placement(const PlacementInput& input,
                                    std::span<const PixelRect> areas) noexcept {
    using platform::StartUpPosition;
    if (input.startUp == StartUpPosition::Manual) {
        return std::nullopt;
    }
    const std::optional<PixelRect> area =
        input.owner ? workAreaOf(*input.owner, areas) : workAreaAt(input.pointer, areas);
    if (input.startUp == StartUpPosition::CenterOwner && input.owner) {
        const PixelPoint at = centred(input.frame, *input.owner);
        if (!area) {
            return at;
        }
        return PixelPoint{inside(at.x, input.frame.width, area->left, area->width),
                          inside(at.y, input.frame.height, area->top, area->height)};
    }
    if (!area) {
        return std::nullopt;
    }
    return centred(input.frame, *area);
}

std::optional<PixelPoint> keptOnScreen(PixelRect window, bool whole,
                                       std::span<const PixelRect> areas) noexcept {
    const std::optional<PixelRect> area = workAreaOf(window, areas);
    if (!area) {
        return std::nullopt;
    }
    const PixelPoint at{inside(window.left, window.width, area->left, area->width),
                        inside(window.top, window.height, area->top, area->height)};
    if (at == PixelPoint{window.left, window.top}) {
        return std::nullopt;
    }
    if (!whole) {
        const std::int64_t seenWidth =
            std::int64_t{std::min(window.left + window.width, area->left + area->width)} -
            std::max(window.left, area->left);
        const std::int64_t seenHeight =
            std::int64_t{std::min(window.top + window.height, area->top + area->height)} -
            std::max(window.top, area->top);
        if (seenWidth >= std::min(kGripPixels, window.width) &&
            seenHeight >= std::min(kGripPixels, window.height)) {
            return std::nullopt;
        }
    }
    return at;
}

}  // namespace pelmora::core
