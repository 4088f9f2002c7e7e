#pragma once
// The report of a signature check: the verdict first, with a sign that tells a correct
// signature from one that is not, then who signed, when, and the file's state then and now.

#include "ModelDialog.h"

class CDlgVerify;

class VerifyReport : public ModelDialog {
    Q_OBJECT
public:
    VerifyReport(CDlgVerify& model, QWidget* parent = nullptr);

protected:
    void AddBody(QVBoxLayout* layout) override;

private:
    CDlgVerify& m_report;
};
