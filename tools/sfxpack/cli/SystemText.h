// The operating system's own words for why a file failed, as other tools print them
// ("Input/output error", "No space left on device"; on Windows what FormatMessage
// says in the user's language).
#pragma once

#include <cstdint>
#include <string>

// The words for a file layer failure: the system's for its OS error; where the system
// named none (osError -1, a write cut short), the system's for the error the cause
// stands for.
std::string SystemReason(int32_t cause, int32_t osError);
