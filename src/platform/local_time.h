#pragma once

#include <ctime>

namespace kiln::platform {

// The local calendar time of a moment (the time zone of the user's session).
std::tm LocalTime(std::time_t moment);

}  // namespace kiln::platform
