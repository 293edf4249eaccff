// <windows.h> for the Windows backends, without the macros that would rename
// the program's own names (CopyFile, MessageBox, GetWindowText, FindWindow,
// CreateDesktop) to the ANSI functions of the same name.
#ifndef QUILLET_PLATFORM_WIN32_H_
#define QUILLET_PLATFORM_WIN32_H_

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#undef CopyFile
#undef MessageBox
#undef GetWindowText
#undef FindWindow
#undef CreateDesktop

#endif  // QUILLET_PLATFORM_WIN32_H_
