// MessageBoxA for a process without a desktop: the message is reported and
// the box answers at once.
#pragma once

#include "platform/WinTypes.h"

// Buttons (the low four bits of the type).
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_CANCELTRYCONTINUE = 0x00000006;
constexpr UINT MB_TYPEMASK = 0x0000000F;
// Icons.
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0x000000F0;
// Default button.
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_DEFBUTTON4 = 0x00000300;
constexpr UINT MB_DEFMASK = 0x00000F00;
// Modality and other options (accepted, without effect here).
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_HELP = 0x00004000;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_DEFAULT_DESKTOP_ONLY = 0x00020000;
constexpr UINT MB_TOPMOST = 0x00040000;
constexpr UINT MB_RIGHT = 0x00080000;
constexpr UINT MB_RTLREADING = 0x00100000;
constexpr UINT MB_SERVICE_NOTIFICATION = 0x00200000;

// Results: the button "pressed".
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDTRYAGAIN = 10;
constexpr int IDCONTINUE = 11;

/// Shows nothing and never waits: writes one record
/// "MessageBox: <caption>: <text>\n" to the debug channel
/// (OutputDebugStringA) and the same line to standard error, tells the
/// observer (below), and returns the box's default button as if it had been
/// pressed: IDOK for MB_OK, the button chosen by MB_DEFBUTTONn otherwise (the
/// first when that button does not exist). A null caption reads "Error", as
/// on Windows; a null text is empty. A button set other than MB_OK ..
/// MB_CANCELTRYCONTINUE returns 0 with ERROR_INVALID_PARAMETER. The owner
/// window is ignored.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

/// An observer of message boxes: called with the caller's `context`, the
/// caption and text as shown (never null) and the type, once per box, one
/// call at a time.
using MessageBoxHook = void (*)(void* context, const char* caption, const char* text, UINT type);

/// Installs `hook` (null removes it) and returns the previous one;
/// `previousContext` (optional) receives its context. Process-wide.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook, void* context, void** previousContext = nullptr);
