// On POSIX the status window is a progress line per step on standard error,
// and the message box is a line on standard output.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "platform/platform.h"
#include "platform/status_window.h"

namespace quillet {
namespace {

class ConsoleStatusWindow : public StatusWindow {
 public:
  void Show() override {}
  void Hide() override {}
  void SetLabel(const std::string& text) override { std::cerr << "Quillet: " << text << std::endl; }
  void BringToFront() override {}
  // The outer size of the window on Windows at 15 twips per pixel, so that
  // the closing placement computes the same figures on both platforms.
  void OuterSizeTwips(int* width, int* height) override {
    *width = 5880;
    *height = 795;
  }
  void PlaceTopmost(int, int, int, int) override {}
  void YieldToUi() override {}

  // Waits for Enter only when someone can press it: the closing message is
  // shown at all only when the program was started without arguments.
  void MessageBox(const std::string& text) override {
    std::cout << text << std::endl;
    if (isatty(STDIN_FILENO) && isatty(STDOUT_FILENO)) {
      std::cout << "Press Enter to close." << std::flush;
      std::string line;
      std::getline(std::cin, line);
    }
  }

  void ReportError(const std::string& text, bool) override {
    std::cerr << "Quillet: " << text << std::endl;
  }

  std::uintptr_t Handle() override { return 0; }
};

}  // namespace

std::unique_ptr<StatusWindow> CreateStatusWindow() {
  return std::make_unique<ConsoleStatusWindow>();
}

void UseParentConsole() {}

void EndProcess(int code) {
  std::cout.flush();
  std::cerr.flush();
  std::exit(code);
}

}  // namespace quillet
