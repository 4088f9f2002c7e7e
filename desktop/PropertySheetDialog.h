#pragma once
// A property sheet as tabs, one per page: its lines as a form, its attribute boxes as check
// boxes, disabled where the attribute cannot be changed on this system. OK applies what was
// changed; Cancel leaves everything as it was.

#include "ModelDialog.h"

class CPropertySheet;

class PropertySheetDialog : public ModelDialog {
    Q_OBJECT
public:
    PropertySheetDialog(CPropertySheet& sheet, QWidget* parent = nullptr);

protected:
    void AddBody(QVBoxLayout* layout) override;
    bool ShowsEntry() const override { return false; }

private:
    CPropertySheet& m_sheet;
};
