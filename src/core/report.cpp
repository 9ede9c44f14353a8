#include "report.h"

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

std::string GetAppFolder(std::string_view executable_path) {
  size_t cut = executable_path.find_last_of("/\\");
  if (cut == std::string_view::npos) return std::string();
  std::string folder(executable_path.substr(0, cut + 1));
  return folder;
}

}  // namespace quorvale
