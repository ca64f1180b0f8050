// The process's own figures, as the operating system and the C library tell them: resident
// memory, heap in use, open descriptors or handles, and on Windows the GDI and USER objects.
#pragma once

#include "soak.h"

namespace pelmora::bench {

Gauges processGauges();

}  // namespace pelmora::bench
