// The memory figures the program shows, read from the OS in one query.
#pragma once

#include <cstdint>

#include "platform/os_calls.h"

namespace pelmora::readout {

// Fills memLoad, totalPhys and availPhys, in that order, or none of them: a query the
// OS refuses and a load outside 0..255 both raise an Error before anything is written.
void Get_MemStatus(platform::OsCalls& os, std::uint8_t& memLoad, std::int64_t& totalPhys,
                   std::int64_t& availPhys);

}  // namespace pelmora::readout
