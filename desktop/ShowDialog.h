#pragma once
// Presents any dialog model on the GUI thread and answers what the model answered: the
// replace question, the decrypted-files list, the verification report and the property sheets
// as dialogs of their own, the folder and file choices as the desktop's file dialogs, every other model as a
// ModelDialog. Password entries are counted: a second one in a row says which try it is.

#include <memory>

#include "ModelDialog.h"

// The dialog a model is shown in (null for the folder and file choices, which use the file
// dialogs); built, not shown.
std::unique_ptr<ModelDialog> MakeDialog(DialogModel& model, QWidget* parent);
// Runs the model's dialog to its end. `tries`: how many password entries were asked in a row
// before this one.
int ShowDialog(DialogModel& model, QWidget* parent, int tries = 0);
