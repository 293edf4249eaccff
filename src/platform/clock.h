// Local time and pauses.
#ifndef QUILLET_PLATFORM_CLOCK_H_
#define QUILLET_PLATFORM_CLOCK_H_

namespace quillet {

struct LocalTime {
  int year = 0;  // Four digits.
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  // Minutes by which this local time is ahead of UTC (-60 for UTC-1), as the
  // system applied it when it made the time; archives of PCs in different
  // time zones can then be put in order.
  int utc_offset_minutes = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  // Milliseconds from a fixed point, never going back: for durations.
  virtual long long Milliseconds() = 0;
  // Blocks the thread for `ms` milliseconds.
  virtual void Sleep(int ms) = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_CLOCK_H_
