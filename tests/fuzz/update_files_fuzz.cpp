// Reads arbitrary bytes as each of the files an update reads back (the sources file, a cached
// copy's header, the record of written files) and checks what the update relies on: a
// sources file read without error gives sources that the check of one address accepts and
// whose lines as the editor writes them read back to them, a
// copy header read back formats to a header that reads back to itself, and the written files'
// record reads back to itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/source_copy.h"
#include "core/sources_file.h"
#include "core/update_record.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  using namespace quorvale;

  std::vector<Source> sources;
  MalformedSourceLine malformed;
  if (ParseSourcesFile(data, &sources, &malformed)) {
    FUZZ_CHECK(malformed.fault.none());
    for (const Source& source : sources) {
      FUZZ_CHECK(CheckSourceAddress(source.address).none());
      FUZZ_CHECK(source.line_number >= 1);
      std::vector<Source> again;
      FUZZ_CHECK(ParseSourcesFile(SourceLineOf(source.address, source.kind), &again, &malformed));
      FUZZ_CHECK(again.size() == 1 && again[0].address == source.address && again[0].kind == source.kind);
    }
  } else {
    FUZZ_CHECK(sources.empty());
    FUZZ_CHECK(!malformed.fault.none() && malformed.line_number >= 1);
  }

  CopyHeader header;
  size_t body_offset = 0;
  if (ParseCopyHeader(data, &header, &body_offset)) {
    FUZZ_CHECK(body_offset <= size && body_offset <= kCopyHeaderMaxBytes);
    const std::string again = FormatCopyHeader(header);
    CopyHeader reread;
    size_t reread_offset = 0;
    FUZZ_CHECK(ParseCopyHeader(again, &reread, &reread_offset) && reread_offset == again.size());
    FUZZ_CHECK(FormatCopyHeader(reread) == again);
  }

  const std::vector<WrittenFile> files = ParseWrittenFiles(data);
  const std::string again = FormatWrittenFiles(files);
  FUZZ_CHECK(ParseWrittenFiles(again).size() == files.size());
  FUZZ_CHECK(FormatWrittenFiles(ParseWrittenFiles(again)) == again);
  return 0;
}
