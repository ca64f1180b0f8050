#include "platform/core/coordinates.h"

#include <algorithm>
#include <cmath>

namespace pelmora::core {

namespace {

int nearestPixel(double pixels) {
    if (!std::isfinite(pixels) || std::fabs(pixels) > kFarthestPixel) {
        throw platform::Error::overflow();
    }
    return static_cast<int>(std::lround(pixels));
}

}  // namespace

int unitsToPixels(double units, double perPixel) {
    return nearestPixel(units / perPixel);
}

UserScale::UserScale(double perPixel, int areaWidth, int areaHeight) noexcept
    : width_(areaWidth),
      height_(areaHeight),
      scaleWidth_(areaWidth * perPixel),
      scaleHeight_(areaHeight * perPixel) {}

void UserScale::set(platform::UserRect corners) {
    const double width = static_cast<double>(corners.x2) - corners.x1;
    const double height = static_cast<double>(corners.y2) - corners.y1;
    if (!std::isfinite(corners.x1) || !std::isfinite(corners.y1) || !std::isfinite(width) ||
        !std::isfinite(height) || width == 0.0 || height == 0.0) {
        throw platform::Error(platform::ErrorCode::InvalidProcedureCall, "empty or endless scale");
    }
    left_ = corners.x1;
    top_ = corners.y1;
    scaleWidth_ = width;
    scaleHeight_ = height;
}

int UserScale::toPixelX(double x) const {
    return scaleWidth_ == 0.0 ? 0 : nearestPixel((x - left_) * width_ / scaleWidth_);
}

int UserScale::toPixelY(double y) const {
    return scaleHeight_ == 0.0 ? 0 : nearestPixel((y - top_) * height_ / scaleHeight_);
}

std::optional<PixelRect> UserScale::box(platform::UserRect corners) const {
    const int ax = toPixelX(corners.x1);
    const int ay = toPixelY(corners.y1);
    const int bx = toPixelX(corners.x2);
    const int by = toPixelY(corners.y2);
    const int left = std::max(std::min(ax, bx), 0);
    const int top = std::max(std::min(ay, by), 0);
    const int right = std::min(std::max(ax, bx), width_);
    const int bottom = std::min(std::max(ay, by), height_);
    if (right <= left || bottom <= top) {
        return std::nullopt;
    }
    return PixelRect{left, top, right - left, bottom - top};
}

}  // namespace pelmora::core
