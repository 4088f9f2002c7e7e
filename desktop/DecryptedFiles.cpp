#include "DecryptedFiles.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "dialogs/FileListDialog.h"

DecryptedFiles::DecryptedFiles(CDlgFileList& model, QWidget* parent) : ModelDialog(model, parent), m_list(model) {}

void DecryptedFiles::AddBody(QVBoxLayout* layout) {
    auto* list = new QListWidget(this);
    for (const std::string& path : m_list.Paths()) list->addItem(QString::fromStdString(path));
    layout->addWidget(list);
    const std::vector<std::string> lines = m_model.Lines();
    if (!lines.empty()) {
        auto* count = new QLabel(QString::fromStdString(lines.back()), this);
        count->setTextFormat(Qt::PlainText);
        layout->addWidget(count);
    }
}
