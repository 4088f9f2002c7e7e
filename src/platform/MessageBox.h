#pragma once
// Message boxes: the button sets, icons and answers keep the framework's values, so results can
// be compared with IDOK, IDYES and the others wherever the engine tests an answer.

#include <string>

enum : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_TYPEMASK = 0xF,
    MB_ICONSTOP = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0,
    // The second button is the default (a question whose first answer destroys something).
    MB_DEFBUTTON2 = 0x100,
};

enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// Shows `text` through the installed UI host and returns the button pressed.
int AfxMessageBox(const std::string& text, unsigned type = MB_OK);

// The answer a box of this type gives when nobody can answer it: No, Cancel or Abort where the
// box has one, else OK.
int CancellingAnswer(unsigned type);
