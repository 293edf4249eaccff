// Threads and the two synchronisation objects the packer's pipeline needs.
// The Windows backend uses only what Windows XP offers, because the release
// compiler's thread model has no std::thread, std::mutex or
// std::condition_variable.
#ifndef QUILLET_PLATFORM_THREADS_H_
#define QUILLET_PLATFORM_THREADS_H_

#include <functional>
#include <memory>
#include <system_error>

namespace quillet {

// One thread of the process. A started thread must be joined before the
// object is destroyed.
class Thread {
 public:
  Thread();
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Runs `body` on a new thread. Fails, starting nothing, when the system
  // cannot make another thread or this one is already running.
  std::error_code Start(std::function<void()> body);
  // Waits until the thread's body has returned. Does nothing when the thread
  // was never started or has been joined already.
  void Join();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A lock that one thread holds at a time; not recursive.
class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock();
  void Unlock();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Holds a Mutex for the lifetime of the object.
class MutexLock {
 public:
  explicit MutexLock(Mutex* mutex) : mutex_(mutex) { mutex_->Lock(); }
  ~MutexLock() { mutex_->Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex* mutex_;
};

// A counter that Wait decrements, blocking while it is zero, and Post
// increments, waking one waiter.
class Semaphore {
 public:
  explicit Semaphore(int initial = 0);
  ~Semaphore();
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  // False when the system could not make the semaphore; Wait and Post must
  // not be called on one that is not valid.
  bool valid() const;
  void Wait();
  void Post();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The number of processors the system offers this process, at least 1.
int ProcessorCount();

}  // namespace quillet

#endif  // QUILLET_PLATFORM_THREADS_H_
