// The set of platform interfaces a run works through, and the real backends.
#ifndef QUILLET_PLATFORM_PLATFORM_H_
#define QUILLET_PLATFORM_PLATFORM_H_

#include <memory>

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/run_lock.h"
#include "platform/settings_reader.h"
#include "platform/status_window.h"

namespace quillet {

// Borrowed pointers to one implementation of each platform interface.
struct Platform {
  Files* files = nullptr;
  Processes* processes = nullptr;
  Environment* environment = nullptr;
  SettingsReader* settings = nullptr;
  StatusWindow* window = nullptr;
  Clock* clock = nullptr;
  Desktop* desktop = nullptr;
  RunLock* lock = nullptr;
};

// Factories of the backends of the platform the program was built for.
std::unique_ptr<Files> CreateFiles();
std::unique_ptr<Processes> CreateProcesses();
std::unique_ptr<Environment> CreateEnvironment(int argc, char** argv);
std::unique_ptr<SettingsReader> CreateSettingsReader();
// Creates the status window hidden.
std::unique_ptr<StatusWindow> CreateStatusWindow();
std::unique_ptr<Clock> CreateClock();
std::unique_ptr<Desktop> CreateDesktop();
std::unique_ptr<RunLock> CreateRunLock();

// Makes the files and folders that this process creates from now on
// readable by their owner only, where the system has such a default (POSIX:
// the collected logs may be readable only by their owner or group, and so
// must their copies and archives be). Programs that the process starts get
// the system's default back. On Windows new files inherit the permissions
// of their folder, and this does nothing.
void KeepNewFilesPrivate();

// Makes standard output reach the console of the program that started this
// one, where the platform does not connect it by itself.
void UseParentConsole();

// Ends the process at once with `code`.
[[noreturn]] void EndProcess(int code);

}  // namespace quillet

#endif  // QUILLET_PLATFORM_PLATFORM_H_
