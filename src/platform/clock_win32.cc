#include "platform/clock.h"
#include "platform/platform.h"
#include "platform/win32.h"

namespace quillet {
namespace {

using TickCount64Function = ULONGLONG(WINAPI*)();

// GetTickCount64 exists from Windows Vista on; it is looked up at run time so
// that the program still loads on Windows XP.
TickCount64Function FindTickCount64() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return nullptr;
  return reinterpret_cast<TickCount64Function>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "GetTickCount64")));
}

class Win32Clock : public Clock {
 public:
  Win32Clock() : tick_count64_(FindTickCount64()) { InitializeCriticalSection(&lock_); }
  ~Win32Clock() override { DeleteCriticalSection(&lock_); }
  Win32Clock(const Win32Clock&) = delete;
  Win32Clock& operator=(const Win32Clock&) = delete;

  LocalTime Now() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    LocalTime t;
    t.year = now.wYear;
    t.month = now.wMonth;
    t.day = now.wDay;
    t.hour = now.wHour;
    t.minute = now.wMinute;
    t.second = now.wSecond;
    t.utc_offset_minutes = CurrentUtcOffsetMinutes();
    return t;
  }

  long long Milliseconds() override {
    if (tick_count64_ != nullptr) return static_cast<long long>(tick_count64_());
    return ExtendedTickCount();
  }

  void Sleep(int ms) override { ::Sleep(static_cast<DWORD>(ms)); }

 private:
  // GetTickCount wraps to 0 after 49.7 days of uptime. Every wrap seen since
  // the clock was made adds 2^32 ms, so that durations never go back; a wrap
  // is seen as long as the clock is read at least once every 49 days, which
  // any run does many times over.
  long long ExtendedTickCount() {
    EnterCriticalSection(&lock_);
    const DWORD ticks = GetTickCount();
    if (ticks < last_ticks_) wraps_ += 1;
    last_ticks_ = ticks;
    const long long result = (wraps_ << 32) + static_cast<long long>(ticks);
    LeaveCriticalSection(&lock_);
    return result;
  }

  const TickCount64Function tick_count64_;
  CRITICAL_SECTION lock_;
  DWORD last_ticks_ = 0;
  long long wraps_ = 0;
};

}  // namespace

int CurrentUtcOffsetMinutes() {
  TIME_ZONE_INFORMATION zone;
  const DWORD kind = GetTimeZoneInformation(&zone);
  LONG bias = zone.Bias;  // UTC = local time + bias, in minutes.
  if (kind == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  if (kind == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  return kind == TIME_ZONE_ID_INVALID ? 0 : static_cast<int>(-bias);
}

std::unique_ptr<Clock> CreateClock() { return std::make_unique<Win32Clock>(); }

}  // namespace quillet
