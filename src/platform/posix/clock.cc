// The performance counter of the POSIX build: the monotonic clock in nanoseconds.
#include <ctime>

#include "platform/posix/internal.h"

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  count->QuadPart = static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  frequency->QuadPart = 1000000000;
  return TRUE;
}
