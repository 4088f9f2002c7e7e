#include "ReplaceQuestion.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "dialogs/Messages.h"

namespace {

// A column of lines under a heading (the heading line itself ends with ':').
QGroupBox* Column(const std::vector<std::string>& lines, size_t from, size_t to, QWidget* parent) {
    QString heading = QString::fromStdString(lines[from]);
    if (heading.endsWith(QLatin1Char(':')) || heading.endsWith(QChar(0xFF1A))) heading.chop(1);
    auto* box = new QGroupBox(heading, parent);
    auto* column = new QVBoxLayout(box);
    for (size_t i = from + 1; i < to; ++i) {
        auto* label = new QLabel(QString::fromStdString(lines[i]), box);
        label->setTextFormat(Qt::PlainText);
        column->addWidget(label);
    }
    column->addStretch();
    return box;
}

}  // namespace

void ReplaceQuestion::AddBody(QVBoxLayout* layout) {
    const std::vector<std::string> lines = m_model.Lines();
    const std::string newHeading = MessageText(msg::dialogs::ReplaceWith);
    size_t split = lines.size();
    for (size_t i = 1; i < lines.size(); ++i)
        if (lines[i] == newHeading) split = i;
    if (lines.empty() || split == lines.size()) return ModelDialog::AddBody(layout);
    auto* question = new QLabel(QString::fromStdString(lines[0]), this);
    question->setTextFormat(Qt::PlainText);
    question->setWordWrap(true);
    layout->addWidget(question);
    auto* sides = new QHBoxLayout;
    if (split > 1) sides->addWidget(Column(lines, 1, split, this));
    sides->addWidget(Column(lines, split, lines.size(), this));
    layout->addLayout(sides);
}
