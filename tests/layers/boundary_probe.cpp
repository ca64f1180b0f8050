#include "platform/forms.h"
#include "platform/os_calls.h"
