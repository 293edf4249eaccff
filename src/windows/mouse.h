// Screen metrics and synthetic mouse input, in pixels of the primary display.
#ifndef QUILLET_WINDOWS_MOUSE_H_
#define QUILLET_WINDOWS_MOUSE_H_

#include "platform/desktop.h"

namespace quillet {

// The screen's size: unit 0 pixels, 2 whole inches, 3 points (72 per whole
// inch), 1 and every other value twips.
void GetScreenSize(Desktop& desktop, int* width, int* height, int unit = 0);

// Absolute pointer coordinates (0 to 65535 across the screen) of a pixel
// column or row, rounded halves to even and not clamped. 0 when the screen
// has no width or height.
int ToMouseX(Desktop& desktop, int x);
int ToMouseY(Desktop& desktop, int y);

// Position and size of a window's outer rectangle, in this order: left, top,
// height, width. False, with the outputs untouched, when it cannot be read.
bool GetWindowBox(Desktop& desktop, WindowHandle window, int* left, int* top, int* height,
                  int* width);

// Presses and releases a button at the pointer: 0 left, 1 right, 2 middle.
// False, sending nothing, for any other kind.
bool MouseClick(Desktop& desktop, int kind);

// Moves the pointer to pixel (x, y) with one absolute move.
void MouseMoveTo(Desktop& desktop, int x, int y);

}  // namespace quillet

#endif  // QUILLET_WINDOWS_MOUSE_H_
