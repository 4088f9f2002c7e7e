#include "ModelDialog.h"

#include <openssl/crypto.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "Messages.h"
#include "Mnemonic.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

int DefaultButtonOf(const DialogModel& model) {
    if (model.DefaultButton() != 0) return model.DefaultButton();
    const std::vector<DialogButton> buttons = model.Buttons();
    for (const DialogButton& b : buttons)
        if (b.answer == model.CancellingAnswer()) return b.id;
    return buttons.empty() ? 0 : buttons.front().id;
}

int CancelModel(DialogModel& model) {
    const std::string word = model.CancellingAnswer();
    for (const DialogButton& b : model.Buttons())
        if (!word.empty() && b.answer == word && model.CanPress(b.id)) return model.Press(b.id);
    return model.Close();
}

ModelDialog::ModelDialog(DialogModel& model, QWidget* parent) : QDialog(parent), m_model(model) {
    setWindowTitle(Q(model.Title()));
    setModal(true);
}

void ModelDialog::Build() {
    auto* layout = new QVBoxLayout(this);
    AddBody(layout);
    if (ShowsEntry()) {
        m_try = new QLabel(this);
        m_try->hide();
        layout->addWidget(m_try);
        m_entry = new QLineEdit(this);
        if (m_model.MaskInput()) m_entry->setEchoMode(QLineEdit::Password);
        m_entry->setText(Q(m_model.Input()));
        if (!m_model.InputLabel().empty()) {
            auto* label = new QLabel(WithMnemonic(Q(m_model.InputLabel()), QLatin1Char('E')), this);
            label->setBuddy(m_entry);
            layout->addWidget(label);
        }
        layout->addWidget(m_entry);
        m_refusal = new QLabel(this);
        m_refusal->setObjectName(QStringLiteral("refusal"));
        m_refusal->setStyleSheet(QStringLiteral("color: #b00000"));
        layout->addWidget(m_refusal);
        connect(m_entry, &QLineEdit::textEdited, this, &ModelDialog::EntryEdited);
    }
    auto* box = new QDialogButtonBox(this);
    const int defaultId = DefaultButtonOf(m_model);
    for (const DialogButton& b : m_model.Buttons()) {
        const QChar key = b.answer.empty() ? QLatin1Char('O') : QLatin1Char(b.answer[0]);
        auto* button = box->addButton(WithMnemonic(Q(b.caption), key), QDialogButtonBox::ActionRole);
        button->setAutoDefault(false);
        button->setDefault(b.id == defaultId);
        button->setProperty("answer", Q(b.answer));
        connect(button, &QPushButton::clicked, this, [this, id = b.id] { Press(id); });
        m_buttons[b.id] = button;
    }
    layout->addWidget(box);
    FollowEntry();
    if (m_entry) m_entry->setFocus();
}

void ModelDialog::AddBody(QVBoxLayout* layout) {
    for (const std::string& line : m_model.Lines()) {
        auto* label = new QLabel(Q(line), this);
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
}

QPushButton* ModelDialog::Button(int id) const {
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

void ModelDialog::SetTry(int count) {
    if (!m_try || count < 2) return;
    m_try->setText(Q(MessageText(msg::desktop::Try, count)));
    m_try->show();
}

void ModelDialog::Press(int id) {
    if (m_ended || !m_model.CanPress(id)) return;
    m_ended = true;
    m_answer = m_model.Press(id);
    if (m_entry) m_entry->clear();
    done(QDialog::Accepted);
}

void ModelDialog::reject() {
    if (!m_ended) {
        m_ended = true;
        m_answer = m_model.Close();
        if (m_entry) m_entry->clear();
    }
    QDialog::reject();
}

void ModelDialog::EntryEdited(const QString& text) {
    // The copy made for the model may be a password: wiped once the model has taken it.
    std::string typed = text.toStdString();
    m_model.SetInput(typed);
    OPENSSL_cleanse(typed.data(), typed.size());
    FollowEntry();
}

// Buttons follow what the model allows; a refused entry says why as soon as anything is typed.
void ModelDialog::FollowEntry() {
    for (auto& [id, button] : m_buttons) button->setEnabled(m_model.CanPress(id));
    if (!m_refusal) return;
    const bool typed = m_entry && !m_entry->text().isEmpty();
    m_refusal->setText(typed ? Q(m_model.EntryRefusal()) : QString());
}
