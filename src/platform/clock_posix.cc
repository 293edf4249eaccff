#include <time.h>

#include "platform/clock.h"
#include "platform/platform.h"

namespace quillet {
namespace {

class PosixClock : public Clock {
 public:
  LocalTime Now() override {
    const time_t now = time(nullptr);
    struct tm parts;
    localtime_r(&now, &parts);
    LocalTime t;
    t.year = parts.tm_year + 1900;
    t.month = parts.tm_mon + 1;
    t.day = parts.tm_mday;
    t.hour = parts.tm_hour;
    t.minute = parts.tm_min;
    t.second = parts.tm_sec;
    t.utc_offset_minutes = static_cast<int>(parts.tm_gmtoff / 60);
    return t;
  }

  long long Milliseconds() override {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  }

  void Sleep(int ms) override {
    struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
  }
};

}  // namespace

std::unique_ptr<Clock> CreateClock() { return std::make_unique<PosixClock>(); }

}  // namespace quillet
