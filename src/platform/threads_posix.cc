#include <sched.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/threads.h"

namespace quillet {

struct Thread::Impl {
  std::thread thread;
};

Thread::Thread() : impl_(new Impl) {}
Thread::~Thread() = default;

std::error_code Thread::Start(std::function<void()> body) {
  if (impl_->thread.joinable()) return std::make_error_code(std::errc::device_or_resource_busy);
  try {
    impl_->thread = std::thread(std::move(body));
  } catch (const std::system_error& error) {
    return error.code();
  }
  return {};
}

void Thread::Join() {
  if (impl_->thread.joinable()) impl_->thread.join();
}

struct Mutex::Impl {
  std::mutex mutex;
};

Mutex::Mutex() : impl_(new Impl) {}
Mutex::~Mutex() = default;
void Mutex::Lock() { impl_->mutex.lock(); }
void Mutex::Unlock() { impl_->mutex.unlock(); }

struct Semaphore::Impl {
  std::mutex mutex;
  std::condition_variable changed;
  int count = 0;
};

Semaphore::Semaphore(int initial) : impl_(new Impl) { impl_->count = initial; }
Semaphore::~Semaphore() = default;
bool Semaphore::valid() const { return true; }

void Semaphore::Wait() {
  std::unique_lock<std::mutex> lock(impl_->mutex);
  impl_->changed.wait(lock, [this] { return impl_->count > 0; });
  --impl_->count;
}

void Semaphore::Post() {
  {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    ++impl_->count;
  }
  impl_->changed.notify_one();
}

int ProcessorCount() {
  // The processors this process may run on, which a container or a
  // "taskset" may have narrowed from those the machine has.
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

}  // namespace quillet
