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
  std::int64_t entries = -1;          // the lines the update's load of the body took; -1 when
                                      // the copy does not say (a copy of an earlier version)
};

// The header's text; the body follows it directly. Values never hold a line end (they are
// dropped from the validators first). Validators that would make the header longer than
// kCopyHeaderMaxBytes are left out: the next request for the source is then unconditional.
// The entries line is there only when `entries` is known.
std::string FormatCopyHeader(const CopyHeader& header);

// Reads the header at the start of `bytes` (the file's first bytes; kCopyHeaderMaxBytes are
// enough). False when it is not a whole, well-formed header. On success `*body_offset` is
// where the body starts.
bool ParseCopyHeader(std::string_view bytes, CopyHeader* header, std::size_t* body_offset);

// At most this many bytes of a copy file are its header.
inline constexpr std::size_t kCopyHeaderMaxBytes = 8192;

// What is known of a new body when the update decides whether it replaces the last good copy.
struct NewBody {
  bool starts_like_html = false;   // its first byte after blanks and a UTF-8 byte-order mark is '<'
  std::string content_type;        // the answer's Content-Type ("" when unknown)
  std::int64_t entries = 0;        // the lines the update's load of it took
  std::int64_t last_entries = -1;  // the last good copy's entries; -1 without a copy or a count
};

// Whether a new body looks like a list of its kind: not an HTML page, at least one entry, and
// not fewer than half the entries of the last good copy.
enum class BodyVerdict { kTaken, kHtml, kEmpty, kShrunk };
BodyVerdict JudgeNewBody(const NewBody& body);

// Finds whether a body starts like an HTML page, from its pieces as they pass.
class BodyStartWatch {
 public:
  void See(std::string_view piece);
  bool StartsLikeHtml() const { return first_ == '<'; }

 private:
  std::size_t bom_bytes_ = 0;  // of the byte-order mark seen so far; its size once past it
  char first_ = '\0';          // the first byte that is not a blank, once seen
  bool seen_ = false;
};

// The copy file's name for a source (without folder): the same for the same address and kind
// wherever the line stands in the sources file.
std::string CopyFileName(std::string_view address, std::string_view kind_word);

}  // namespace quorvale
