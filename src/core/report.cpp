#include "report.h"

#include "path_text.h"

namespace quorvale {

std::string BuildReport(const std::vector<std::string>& rejected_lines) {
  static constexpr std::string_view kRule = "---------------------------------";
  size_t length = 64;
  for (const std::string& line : rejected_lines) length += line.size() + 2;
  std::string out;
  out.reserve(length);
  out += "Liste des erreurs: \r\n\r\n\r\n";
  for (const std::string& line : rejected_lines) {
    if (line.empty()) continue;
    out += line;
    out += "\r\n";
  }
  out += kRule;
  out += "\r\n";
  out += kRule;
  out += "\r\n\r\n\r\n";
  return out;
}

std::string GetAppFolder(std::string_view executable_path) { return std::string(FolderPartOf(executable_path)); }

}  // namespace quorvale
