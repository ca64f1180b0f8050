#include "process_gauges.h"

#ifdef _WIN32
#include <windows.h>
// windows.h first: psapi.h needs its types.
#include <psapi.h>
#else
#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace pelmora::bench {

#ifdef _WIN32

namespace {

// Bytes in busy blocks of every heap of the process (the C runtime's among them).
std::int64_t heapInUse() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    if (count == 0 || count > 64) {
        return -1;
    }
    std::int64_t total = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!HeapLock(heaps[i])) {
            continue;
        }
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry)) {
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
                total += static_cast<std::int64_t>(entry.cbData);
            }
        }
        HeapUnlock(heaps[i]);
    }
    return total;
}

}  // namespace

Gauges processGauges() {
    Gauges g;
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        g.rssBytes = static_cast<std::int64_t>(counters.WorkingSetSize);
    }
    g.heapBytes = heapInUse();
    // A process always holds handles: a count of none means the system does not count them.
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles != 0) {
        g.handles = handles;
    }
    // Some systems (Wine among them) do not count these and answer 0.
    const DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    g.gfxObjects = gdi != 0 ? static_cast<std::int64_t>(gdi) : -1;
    g.uiObjects = user != 0 ? static_cast<std::int64_t>(user) : -1;
    return g;
}

#else

Gauges processGauges() {
    Gauges g;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        long size = 0;
        long resident = 0;
        if (std::fscanf(statm, "%ld %ld", &size, &resident) == 2) {
            g.rssBytes = static_cast<std::int64_t>(resident) * sysconf(_SC_PAGESIZE);
        }
        std::fclose(statm);
    }
#ifdef __GLIBC__
    const struct mallinfo2 info = mallinfo2();
    g.heapBytes = static_cast<std::int64_t>(info.uordblks + info.hblkhd);
#endif
    if (DIR* fds = opendir("/proc/self/fd")) {
        std::int64_t count = 0;
        while (const dirent* entry = readdir(fds)) {
            if (entry->d_name[0] != '.') {
                ++count;
            }
        }
        closedir(fds);
        g.handles = count - 1;  // not the one this count holds open
    }
    return g;
}

#endif

}  // namespace pelmora::bench
