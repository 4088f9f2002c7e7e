#pragma once
// The replace question: which file is there, then the existing file and the new one side by
// side, and the five answers. The default is to keep the existing file; Escape cancels.

#include "ModelDialog.h"

class ReplaceQuestion : public ModelDialog {
    Q_OBJECT
public:
    explicit ReplaceQuestion(DialogModel& model, QWidget* parent = nullptr) : ModelDialog(model, parent) {}

protected:
    void AddBody(QVBoxLayout* layout) override;
};
