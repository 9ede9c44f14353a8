#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "status.h"

namespace quorvale {

// Which files an opening for reading accepts. A folder is always refused.
enum class InputKinds {
  kRegularFiles,  // regular files only: a device or a named pipe is refused as well
  kAlsoStreams,   // named pipes too, and kStandardInput names standard input (a device is
                  // still refused: it may never end)
};
inline constexpr std::string_view kStandardInput = "-";

// A file or stream that the platform opened for reading (Platform::OpenSequentialFile),
// read from its start, in order.
class SequentialFile {
 public:
  virtual ~SequentialFile() = default;

  // Reads the next bytes to `to` until `room` of them are there or the data ends, and sets
  // `*got` to their count: fewer than `room` only at the end (a file that grows meanwhile
  // gives more to the next call). A failure names the file.
  virtual Status Read(char* to, size_t room, size_t* got) = 0;
  // The size of the file at its opening when the system says it (0 for a pipe or a
  // terminal).
  virtual uint64_t size_hint() const = 0;
  // Whether the size or the modification time of the file now differ from those at its
  // opening: another program wrote or truncated it meanwhile. Always false for a pipe or a
  // terminal.
  virtual bool ChangedSinceOpened() = 0;
};

}  // namespace quorvale
