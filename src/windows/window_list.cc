#include "windows/window_list.h"

#include <cctype>

namespace quillet {
namespace {

constexpr int kTitleBuffer = 254;
// A z-order that changes under the walk could in principle lead it round in
// a circle; no desktop has this many windows.
constexpr int kMaxSteps = 65536;

void Record(RunContext& context, WindowHandle window) {
  RunState& state = context.state;
  std::string title = context.platform.desktop->GetWindowText(window, kTitleBuffer);
  if (title.empty() || state.window_count > kWindowListSize) return;
  for (char& c : title) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  title.resize(kTitleLength, ' ');
  state.window_list[static_cast<std::size_t>(state.window_count - 1)] = {title, window};
  ++state.window_count;
}

void Walk(RunContext& context, WindowHandle own, ZOrder relation) {
  WindowHandle current = own;
  for (int step = 0; step < kMaxSteps; ++step) {
    const WindowHandle next = context.platform.desktop->GetWindow(current, relation);
    if (next == 0) return;
    Record(context, next);
    if (next == own) return;
    current = next;
  }
}

}  // namespace

void ReadWindowList(RunContext& context) {
  context.platform.window->SetLabel("Reading Windows");
  const WindowHandle own = context.platform.window->Handle();
  context.state.window_count = 1;
  Walk(context, own, ZOrder::kNext);
  Walk(context, own, ZOrder::kPrevious);
}

}  // namespace quillet
