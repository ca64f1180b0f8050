// Colours, fonts and pictures of the layout tables, turned into their Qt forms.
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPalette>

#include "platform/layout.h"
#include "platform/types.h"

namespace pelmora::qt {

// A layout colour: 0x00BBGGRR, or a system colour looked up in the palette.
QColor toQColor(platform::Colour colour, const QPalette& palette);

// Points are laid out at 96 dots per inch, like the tables' twips; an empty face is the
// default dialog font.
QFont toQFont(const platform::FontDef& font);

// One of the embedded pictures; a picture that is missing or unreadable throws Error 481.
QImage loadPicture(platform::PictureId id);
QIcon loadIcon(platform::PictureId id);

}  // namespace pelmora::qt
