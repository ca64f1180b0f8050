#include "platform/core/runtime.h"
