#pragma once
// The list of files a batch decrypted: the paths in a list the person can scroll and copy
// from, and the count under it.

#include "ModelDialog.h"

class CDlgFileList;

class DecryptedFiles : public ModelDialog {
    Q_OBJECT
public:
    DecryptedFiles(CDlgFileList& model, QWidget* parent = nullptr);

protected:
    void AddBody(QVBoxLayout* layout) override;

private:
    CDlgFileList& m_list;
};
