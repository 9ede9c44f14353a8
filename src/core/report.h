#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

inline constexpr std::string_view kReportFileName = "Rapport.txt";

// The report of rejected lines ("Rapport.txt"): the heading "Liste des erreurs: ", two empty
// lines, every non-empty element in order, two rules of 33 dashes and two empty lines; every
// line ends with CR LF.
std::string BuildReport(const std::vector<std::string>& rejected_lines);

// The folder of the program's executable, always ending with the path separator of the
// executable's path ("\" when the path uses backslashes, "/" otherwise).
std::string GetAppFolder(std::string_view executable_path);

}  // namespace quorvale
