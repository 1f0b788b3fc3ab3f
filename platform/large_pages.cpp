#include "platform/large_pages.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace globaro {

void preferLargePages(void* p, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Below a few large pages the hint buys nothing.
    constexpr std::size_t kWorthIt = std::size_t{4} << 20;
    if (p == nullptr || bytes < kWorthIt) return;
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto from = reinterpret_cast<std::uintptr_t>(p), to = from + bytes;
    const std::uintptr_t first = (from + page - 1) / page * page;
    if (first >= to) return;
    // The kernel may say no (large pages turned off): the small pages stay.
    (void)madvise(reinterpret_cast<void*>(first), to - first, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

}  // namespace globaro
