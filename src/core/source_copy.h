#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The cached copy of a source: one file that holds the source's validators in a short text
// header and, after it, the body exactly as it was received. Written in one piece (a
// temporary file and a rename), so that a copy never pairs one download's validators with
// another's body.

namespace quorvale {

struct CopyHeader {
  std::string address;        // the source the copy is of
  std::string etag;           // the server's validators ("" when none)
  std::string last_modified;
  std::int64_t source_size = -1;      // a local source's size when it was copied
  std::int64_t source_modified = -1;  // a local source's modification time (as FileModifiedTime)
  std::int64_t fetched = 0;           // when the copy was taken, in seconds since 1970 UTC
  std::uint64_t body_bytes = 0;
  std::string digest;                 // Sha256Hex of the body
};

// The header's text; the body follows it directly. Values never hold a line end (they are
// dropped from the validators first).
std::string FormatCopyHeader(const CopyHeader& header);

// Reads the header at the start of `bytes` (the file's first bytes; kCopyHeaderMaxBytes are
// enough). False when it is not a whole, well-formed header. On success `*body_offset` is
// where the body starts.
bool ParseCopyHeader(std::string_view bytes, CopyHeader* header, std::size_t* body_offset);

// At most this many bytes of a copy file are its header.
inline constexpr std::size_t kCopyHeaderMaxBytes = 8192;

// The copy file's name for a source (without folder): the same for the same address and kind
// wherever the line stands in the sources file.
std::string CopyFileName(std::string_view address, std::string_view kind_word);

}  // namespace quorvale
