// Reads arbitrary bytes item by item and checks what every caller relies on: each item is a
// piece of the data, holds no line break, and the reader always moves forward and stops.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/item_reader.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  quorvale::ItemReader reader(data);
  size_t items = 0;
  std::string_view item;
  while (!reader.AtEnd()) {
    FUZZ_CHECK(reader.Next(&item));
    ++items;
    // An item never outlives its delimiter, so there are never more items than bytes.
    FUZZ_CHECK(items <= size);
    FUZZ_CHECK(item.empty() || (item.data() >= data.data() && item.data() + item.size() <= data.data() + size));
    FUZZ_CHECK(item.find('\r') == std::string_view::npos);
    FUZZ_CHECK(item.find('\n') == std::string_view::npos);
    // Only a quoted item (its opening quote just before it) or a comment may hold a comma.
    const size_t comma = item.find(',');
    if (comma != std::string_view::npos) {
      FUZZ_CHECK((item.data() > data.data() && item.data()[-1] == '"') || item.find('#') < comma);
    }
  }
  FUZZ_CHECK(!reader.Next(&item));
  FUZZ_CHECK(item.empty());
  return 0;
}
