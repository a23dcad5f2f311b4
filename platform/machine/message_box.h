// Message boxes with the Windows flag and result values, shown with Qt.
//
// Three ways a box is answered, checked in this order:
//  1. a hook set by SetMessageBoxHook (in-process tests): no window;
//  2. SETUPENGINE_MSGBOX_LOG=<host file> (tests that run a real program): no
//     window; the box is appended to the file as one line
//     "caption|text|flags" (flags in decimal, line breaks of the text written
//     as \n) and answered with the next number of
//     SETUPENGINE_MSGBOX_ANSWERS=6,7,... or, once those run out, with the
//     default button;
//  3. a modal QMessageBox (a QApplication is created if none exists).
// The caption rule and silent mode belong to the engine, not here.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace machine {

// Buttons (low 4 bits).
constexpr unsigned MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_ABORTRETRYIGNORE = 0x2, MB_YESNOCANCEL = 0x3,
                   MB_YESNO = 0x4, MB_RETRYCANCEL = 0x5;
// Icons (bits 4-7).
constexpr unsigned MB_ICONERROR = 0x10, MB_ICONHAND = 0x10, MB_ICONSTOP = 0x10, MB_ICONQUESTION = 0x20,
                   MB_ICONWARNING = 0x30, MB_ICONEXCLAMATION = 0x30, MB_ICONINFORMATION = 0x40,
                   MB_ICONASTERISK = 0x40;
// Default button (bits 8-11).
constexpr unsigned MB_DEFBUTTON1 = 0x000, MB_DEFBUTTON2 = 0x100, MB_DEFBUTTON3 = 0x200;

// Results.
constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7;

int ShowMessageBox(std::string_view caption, std::string_view text, unsigned flags, void* owner = nullptr);

using MessageBoxHook = std::function<int(std::string_view caption, std::string_view text, unsigned flags)>;
// An empty function removes the hook.
void SetMessageBoxHook(MessageBoxHook hook);

// The result ids of the box's buttons, left to right ({IDOK} for MB_OK).
std::vector<int> MessageBoxButtons(unsigned flags);
// The id of the default button (the first one when the bits name a button
// the box does not have).
int DefaultMessageBoxResult(unsigned flags);

}  // namespace machine
