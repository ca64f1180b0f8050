// What assistive technology reads of a window and its widgets on Qt: the core's decision,
// kept on each widget and read through Qt's own accessibility (and its AT-SPI bridge).
#pragma once

#include <QWidget>

#include "platform/core/native.h"

namespace pelmora::qt {

// What a widget, or a window, tells from now on; its first telling announces nothing.
void describe(QWidget& widget, const core::Accessible& told);

// A change of what it tells, announced to assistive technology when any listens.
void announce(QWidget& widget, const core::Accessible& told);

}  // namespace pelmora::qt
