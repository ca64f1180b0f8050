#include "readout/mem_status.h"

#include "platform/errors.h"

namespace pelmora::readout {

void Get_MemStatus(platform::OsCalls& os, std::uint8_t& memLoad, std::int64_t& totalPhys,
                   std::int64_t& availPhys) {
    platform::MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (os.GlobalMemoryStatusEx(status) == 0) {
        throw platform::Error(platform::ErrorCode::MemoryStatusUnavailable,
                              "the system did not answer the query");
    }
    // The load is range-checked like a conversion to an unsigned byte.
    if (status.dwMemoryLoad > 255) {
        throw platform::Error::overflow();
    }
    memLoad = static_cast<std::uint8_t>(status.dwMemoryLoad);
    totalPhys = static_cast<std::int64_t>(status.ullTotalPhys);
    availPhys = static_cast<std::int64_t>(status.ullAvailPhys);
}

}  // namespace pelmora::readout
