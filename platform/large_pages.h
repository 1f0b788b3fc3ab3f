#pragma once
// Large pages for large buffers.

#include <cstddef>

namespace globaro {

// Asks the system to back [p, p + bytes) with large pages where it can (on
// Linux, transparent huge pages: a 2 MiB page takes one page fault and one
// address-translation entry where 512 small pages take 512 of each). Only a
// hint, for buffers of several MiB that are about to be written whole (an
// image, a pyramid level): nothing changes where the system declines. Call
// it before the memory is first touched.
void preferLargePages(void* p, std::size_t bytes) noexcept;

}  // namespace globaro
