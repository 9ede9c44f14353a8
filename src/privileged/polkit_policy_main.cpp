// Writes the package's polkit policy: the template with an action for each privileged step
// that asks for rights, each running the helper at its installed path with the step's name
// as its first argument. Run by the build:
//   quorvale_polkit_policy TEMPLATE HELPER_PATH OUTPUT

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "privileged/privileged_steps.h"

namespace {

// The template's line that the actions take the place of.
constexpr std::string_view kActionsLine = "@QUORVALE_POLICY_ACTIONS@\n";
constexpr std::string_view kActionPrefix = "org.quorvale.Quorvale.";

std::string Capitalized(std::string_view text) {
  std::string capitalized(text);
  if (!capitalized.empty()) capitalized[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return capitalized;
}

std::string Action(const quorvale::PrivilegedStep& step, std::string_view helper_path) {
  using Rights = quorvale::StepPrompt::Rights;
  const std::string name(step.name);
  const std::string english(step.prompt.english);
  const std::string french(step.prompt.french);
  const std::string active = step.prompt.rights == Rights::kKept ? "auth_admin_keep" : "auth_admin";
  std::ostringstream action;
  action << "\n  <action id=\"" << kActionPrefix << name << "\">\n"
         << "    <description>" << Capitalized(english) << "</description>\n"
         << "    <description xml:lang=\"fr\">" << Capitalized(french) << "</description>\n"
         << "    <message>Authentication is required to " << english << "</message>\n"
         << "    <message xml:lang=\"fr\">Une authentification est necessaire pour " << french << "</message>\n"
         << "    <defaults>\n"
         << "      <allow_any>auth_admin</allow_any>\n"
         << "      <allow_inactive>auth_admin</allow_inactive>\n"
         << "      <allow_active>" << active << "</allow_active>\n"
         << "    </defaults>\n"
         << "    <annotate key=\"org.freedesktop.policykit.exec.path\">" << helper_path << "</annotate>\n"
         << "    <annotate key=\"org.freedesktop.policykit.exec.argv1\">" << name << "</annotate>\n"
         << "  </action>\n";
  return action.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: quorvale_polkit_policy TEMPLATE HELPER_PATH OUTPUT\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string policy((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t marker = policy.find(kActionsLine);
  if (!in || marker == std::string::npos) {
    std::fprintf(stderr, "quorvale_polkit_policy: %s has no line %s", argv[1], std::string(kActionsLine).c_str());
    return 1;
  }
  std::string actions;
  for (const quorvale::PrivilegedStep& step : quorvale::PrivilegedSteps()) {
    if (step.prompt.rights != quorvale::StepPrompt::Rights::kNotAsked) actions += Action(step, argv[2]);
  }
  policy.replace(marker, kActionsLine.size(), actions);
  std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
  if (!(out << policy) || !out.flush()) {
    std::fprintf(stderr, "quorvale_polkit_policy: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
