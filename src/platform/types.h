// Value types shared by the system and every backend at the platform boundary.
#pragma once

#include <cstdint>

namespace pelmora::platform {

// Booleans exchanged with the forms runtime: true is -1, false is 0, any non-zero is true.
using Bool16 = std::int16_t;
inline constexpr Bool16 kTrue = -1;
inline constexpr Bool16 kFalse = 0;
constexpr Bool16 toBool16(bool value) noexcept {
    return value ? kTrue : kFalse;
}

// A window handle as the OS calls see it. Real handles fit in 32 bits on every
// Windows, so the tray record keeps the low 32 bits and the backend sign-extends.
using Hwnd = std::uintptr_t;
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;

// Index of a control that is not part of a control array.
inline constexpr std::int16_t kNoIndex = -1;

// Colours are 0x00BBGGRR; 0x800000nn names system colour nn.
using Colour = std::uint32_t;
inline constexpr Colour kSystemColourFlag = 0x80000000u;
constexpr bool isSystemColour(Colour c) noexcept {
    return (c & kSystemColourFlag) != 0;
}
constexpr Colour systemColour(std::uint32_t index) noexcept {
    return kSystemColourFlag | index;
}
inline constexpr Colour kWindowBackground = systemColour(5);
inline constexpr Colour kWindowText = systemColour(8);

inline constexpr std::int32_t kTwipsPerPixel = 15;

}  // namespace pelmora::platform

// A window procedure must have the OS's calling convention; the build sets it
// (stdcall on 32-bit Windows, nothing elsewhere).
#ifndef PELMORA_CALLBACK
#define PELMORA_CALLBACK
#endif

namespace pelmora::platform {
using WndProc = LResult(PELMORA_CALLBACK*)(Hwnd, std::uint32_t, WParam, LParam);
}  // namespace pelmora::platform
