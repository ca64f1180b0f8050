// Compiled from inside the readout's folder: a relative path reaches across the layers.
#include "../platform/win32/win32_resource_ids.h"
