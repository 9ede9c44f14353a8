#pragma once

#include <cstddef>

namespace quorvale {

// Files are read and written a piece of about a megabyte at a time: big enough that the
// system calls cost nothing next to the work, small enough that a big list is never held
// whole a second time.
inline constexpr size_t kPieceBytes = size_t{1} << 20;

}  // namespace quorvale
