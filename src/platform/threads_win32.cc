#include <errno.h>
#include <process.h>

#include <system_error>
#include <utility>

#include "platform/threads.h"
#include "platform/win32.h"

namespace quillet {
namespace {

unsigned __stdcall RunBody(void* argument) {
  (*static_cast<std::function<void()>*>(argument))();
  return 0;
}

}  // namespace

struct Thread::Impl {
  HANDLE handle = nullptr;
  std::function<void()> body;
};

Thread::Thread() : impl_(new Impl) {}
Thread::~Thread() = default;

std::error_code Thread::Start(std::function<void()> body) {
  if (impl_->handle != nullptr) return std::make_error_code(std::errc::device_or_resource_busy);
  impl_->body = std::move(body);
  // _beginthreadex rather than CreateThread, so that the C runtime sets up
  // its per-thread data (errno, the stdio locks) for the new thread.
  const uintptr_t handle = _beginthreadex(nullptr, 0, RunBody, &impl_->body, 0, nullptr);
  if (handle == 0) {
    impl_->body = nullptr;
    return std::error_code(errno != 0 ? errno : EAGAIN, std::generic_category());
  }
  impl_->handle = reinterpret_cast<HANDLE>(handle);
  return {};
}

void Thread::Join() {
  if (impl_->handle == nullptr) return;
  WaitForSingleObject(impl_->handle, INFINITE);
  CloseHandle(impl_->handle);
  impl_->handle = nullptr;
  impl_->body = nullptr;
}

struct Mutex::Impl {
  CRITICAL_SECTION section;
};

Mutex::Mutex() : impl_(new Impl) { InitializeCriticalSection(&impl_->section); }
Mutex::~Mutex() { DeleteCriticalSection(&impl_->section); }
void Mutex::Lock() { EnterCriticalSection(&impl_->section); }
void Mutex::Unlock() { LeaveCriticalSection(&impl_->section); }

struct Semaphore::Impl {
  HANDLE handle = nullptr;
};

Semaphore::Semaphore(int initial) : impl_(new Impl) {
  impl_->handle = CreateSemaphoreA(nullptr, initial, 0x7FFFFFFF, nullptr);
}
Semaphore::~Semaphore() {
  if (impl_->handle != nullptr) CloseHandle(impl_->handle);
}
bool Semaphore::valid() const { return impl_->handle != nullptr; }
void Semaphore::Wait() { WaitForSingleObject(impl_->handle, INFINITE); }
void Semaphore::Post() { ReleaseSemaphore(impl_->handle, 1, nullptr); }

int ProcessorCount() {
  // The processors this process may run on, which the affinity mask set by
  // whoever started it may narrow from those the machine has.
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) &&
      process_mask != 0) {
    int count = 0;
    for (; process_mask != 0; process_mask &= process_mask - 1) ++count;
    return count;
  }
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

}  // namespace quillet
