// <windows.h> for the Windows backends, without the macros that would rename
// the program's own names (CopyFile, DeleteFile, MessageBox, GetWindowText,
// FindWindow, CreateDesktop) to the ANSI functions of the same name, and the
// error helper that every Windows backend reports failures with.
#ifndef QUILLET_PLATFORM_WIN32_H_
#define QUILLET_PLATFORM_WIN32_H_

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <system_error>

#undef CopyFile
#undef DeleteFile
#undef MessageBox
#undef GetWindowText
#undef FindWindow
#undef CreateDesktop

namespace quillet {

// A Windows error code that carries the system's own message and compares
// equal to the portable condition it stands for (see platform/errors.h).
std::error_code Win32Error(DWORD code);

inline std::error_code LastWin32Error() { return Win32Error(GetLastError()); }

// Minutes by which local time is now ahead of UTC: the offset that
// GetLocalTime and FileTimeToLocalFileTime apply, daylight saving included.
int CurrentUtcOffsetMinutes();

}  // namespace quillet

#endif  // QUILLET_PLATFORM_WIN32_H_
