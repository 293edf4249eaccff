#include "platform/clock.h"
#include "platform/platform.h"
#include "platform/win32.h"

namespace quillet {
namespace {

class Win32Clock : public Clock {
 public:
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
    return t;
  }
  long long Milliseconds() override { return static_cast<long long>(GetTickCount64()); }
  void Sleep(int ms) override { ::Sleep(static_cast<DWORD>(ms)); }
};

}  // namespace

std::unique_ptr<Clock> CreateClock() { return std::make_unique<Win32Clock>(); }

}  // namespace quillet
