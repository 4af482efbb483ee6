#include "platform/local_time.h"

namespace kiln::platform {

std::tm LocalTime(std::time_t moment) {
  // The time zone the user set in Windows (localtime_s reads it, or TZ when set).
  std::tm local{};
  ::localtime_s(&local, &moment);
  return local;
}

}  // namespace kiln::platform
