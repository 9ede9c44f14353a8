#include "cli/schedule.h"

#include "cli/cli_runner.h"

namespace quorvale {

int ScheduleUpdate(Platform&, const std::string&, std::string_view, const std::function<void(const std::string&)>& say) {
  say("--schedule: pas encore disponible");
  return kExitFile;
}

}  // namespace quorvale
