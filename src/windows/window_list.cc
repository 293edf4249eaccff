#include "windows/window_list.h"

#include "platform/text.h"

namespace quillet {
namespace {

// Titles are read through a buffer of 254 characters, its last one the
// terminating zero.
constexpr int kMaxTitle = 253;
// A z-order that changes under the walk could in principle lead it round in
// a circle; no desktop has this many windows.
constexpr int kMaxSteps = 65536;

void Record(Desktop& desktop, WindowHandle window, WindowList* list) {
  std::string title = desktop.Title(window, kMaxTitle);
  if (title.empty() || list->count > kWindowListSize) return;
  title = Upper(title);
  title.resize(kTitleLength, ' ');
  list->entries[static_cast<std::size_t>(list->count - 1)] = {title, window};
  ++list->count;
}

void Walk(Desktop& desktop, WindowHandle own, ZOrder where, WindowList* list) {
  WindowHandle current = own;
  for (int step = 0; step < kMaxSteps; ++step) {
    const WindowHandle next = desktop.Neighbour(current, where);
    if (next == 0) return;
    Record(desktop, next, list);
    if (next == own) return;
    current = next;
  }
}

}  // namespace

WindowList ReadWindowList(const Platform& platform) {
  platform.window->SetLabel("Reading Windows");
  const WindowHandle own = platform.window->Handle();
  WindowList list;
  Walk(*platform.desktop, own, ZOrder::kBelow, &list);
  Walk(*platform.desktop, own, ZOrder::kAbove, &list);
  return list;
}

}  // namespace quillet
