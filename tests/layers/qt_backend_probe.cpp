#include "platform/qt/qt_window.h"
