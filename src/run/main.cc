// Quillet collects the diagnostic material of an HMI PC into one dated zip
// archive, unattended, and quits.
#include "platform/platform.h"
#include "platform/priority.h"
#include "run/command_line.h"

int main(int argc, char** argv) {
  using namespace quillet;
  // The collected logs may be readable only by their owners; so must their
  // copies and the archive be.
  KeepNewFilesPrivate();
  // The PC belongs to its operator: copying and checking logs, and the
  // programs of the start list, which inherit it, must not slow the HMI.
  LowerOwnPriority();
  std::unique_ptr<Files> files = CreateFiles();
  std::unique_ptr<Processes> processes = CreateProcesses();
  std::unique_ptr<Environment> environment = CreateEnvironment(argc, argv);
  std::unique_ptr<SettingsReader> settings = CreateSettingsReader();
  std::unique_ptr<Clock> clock = CreateClock();
  std::unique_ptr<StatusWindow> window = CreateStatusWindow();
  std::unique_ptr<Desktop> desktop = CreateDesktop();
  std::unique_ptr<RunLock> lock = CreateRunLock();

  RunContext context;
  context.platform = Platform{files.get(),  processes.get(), environment.get(), settings.get(),
                              window.get(), clock.get(),     desktop.get(),     lock.get()};
  SetProgramLocation(environment->ProgramPath(), &context);
  EndProcess(RunProgram(context));
}
