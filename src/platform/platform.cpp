#include "platform/platform.h"

#include "core/path_text.h"

namespace quorvale {

std::string Platform::ExecutableName() {
  std::string name(FileNameOf(ExecutablePath()));
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

}  // namespace quorvale
