#include "platform/win32/win32_window.h"
