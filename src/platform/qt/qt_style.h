// Colours, fonts, pictures and popup rows of the core's plans, turned into their Qt forms, and
// the display scale they are shown at.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QPalette>
#include <QString>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/native.h"
#include "platform/layout.h"
#include "platform/types.h"

namespace pelmora::qt {

// A layout colour: 0x00BBGGRR, or a system colour looked up in the palette.
QColor toQColor(platform::Colour colour, const QPalette& palette);

// Points are laid out at 96 dots per inch, like the tables' twips; an empty face is the
// default dialog font.
QFont toQFont(const platform::FontDef& font);

// Registers the embedded pictures with Qt; harmless when called again.
void registerPictures();

// One of the embedded pictures; one that is missing or unreadable throws a NativeFailure.
QImage loadPicture(platform::PictureId id);
QIcon loadIcon(platform::PictureId id);

QString toQString(std::string_view text);

// Popup rows as a menu's actions, one per row, separators included.
std::vector<QAction*> addRows(QMenu& menu, std::span<const core::PopupRow> rows);
// A row's state on its action: only a marked row is checkable, so others show no empty box.
void showRow(QAction& action, const core::PopupRow& row);

// The display scale is a whole number of device pixels per pixel of the layout, so that the
// skin's pixels stay square and sharp: a fractional factor is rounded to the nearest whole
// one, halves up (1.5 -> 2, 1.25 -> 1), and never below 1. Call it before the application is
// made: it sets Qt's rounding of the factor a screen's DPI gives (also over a
// QT_SCALE_FACTOR_ROUNDING_POLICY that passes fractions through), and rounds the factors of
// QT_SCALE_FACTOR and QT_SCREEN_SCALE_FACTORS, which Qt would take as they are.
void useWholeScaleFactors();

// A QT_SCALE_FACTOR or QT_SCREEN_SCALE_FACTORS value ("1.5", "DP-1=1.5;HDMI-1=1") with each
// factor rounded so; what is not a number is left for Qt to refuse.
std::string wholeScaleFactors(std::string_view value);

}  // namespace pelmora::qt
