#include "source_kinds.h"

#include "text.h"

namespace quorvale {

bool KindOfWord(std::string_view word, SourceKind* kind) {
  for (const SourceKindRow& row : kSourceKinds) {
    if (EqualsIgnoreAsciiCase(word, row.word)) {
      *kind = row.kind;
      return true;
    }
  }
  return false;
}

}  // namespace quorvale
