// The runtime's coordinate arithmetic, in one place: layouts in twips to pixels, a form's
// coordinate unit to pixels and back, and a picture box's user scale to pixel boxes.
#pragma once

#include <optional>

#include "platform/core/native.h"
#include "platform/forms.h"
#include "platform/layout.h"

namespace pelmora::core {

// Pixels farther than this from a control's origin are beyond any screen: an overflow.
inline constexpr double kFarthestPixel = 1'000'000.0;

constexpr int twipsToPixels(std::int32_t twips) noexcept {
    return twips / platform::kTwipsPerPixel;
}

// How many of a form's coordinate units make one pixel.
constexpr double unitsPerPixel(platform::ScaleUnit unit) noexcept {
    return unit == platform::ScaleUnit::Twips ? platform::kTwipsPerPixel : 1.0;
}

// A position in units as the nearest pixel; not finite or out of reach raises Overflow.
int unitsToPixels(double units, double perPixel);

// A picture box's user coordinates over a drawing area of the given pixel size.
class UserScale {
  public:
    // Until Scale is called, user coordinates are the form's unit from the area's top left.
    UserScale(double perPixel, int areaWidth, int areaHeight) noexcept;

    // (x1, y1) names the top-left corner, (x2, y2) the bottom-right; an empty or endless
    // scale raises InvalidProcedureCall and leaves the old one.
    void set(platform::UserRect corners);
    // The pixels a filled box covers, [left, right) x [top, bottom), clipped to the area;
    // none when nothing of it is inside.
    std::optional<PixelRect> box(platform::UserRect corners) const;

  private:
    int toPixelX(double x) const;
    int toPixelY(double y) const;

    int width_;
    int height_;
    double left_ = 0.0;
    double top_ = 0.0;
    double scaleWidth_;
    double scaleHeight_;
};

}  // namespace pelmora::core
