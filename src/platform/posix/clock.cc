// The clocks of the POSIX build.
#include <ctime>

#include "platform/posix/internal.h"

int64_t SteadyNanoseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Subtracts the local time zone's current offset from UTC.
uint64_t LocalTimeToUtc(uint64_t localTicks) {
  time_t now = time(nullptr);
  struct tm parts;
  localtime_r(&now, &parts);
  return localTicks - static_cast<uint64_t>(static_cast<int64_t>(parts.tm_gmtoff) * 10000000LL);
}
