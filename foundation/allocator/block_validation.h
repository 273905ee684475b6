// Is a pointer the start of a live block of its page? Checked under the pool lock
// before a free, resize or size query touches the page's lists, so that a double
// free or a pointer into the middle of a block is reported instead of corrupting.
#pragma once

#include "foundation/allocator/pool_layout.h"

namespace tessaro::allocator {

// The block's usable size, or 0 when `b` is not a live block of `h`.
std::size_t LiveBlockSize(PageHeader* h, char* b);

}  // namespace tessaro::allocator
