#include "VerifyReport.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStyle>
#include <QVBoxLayout>

#include "Messages.h"
#include "dialogs/VerifyDialog.h"
#include "logon/ILogon.h"

VerifyReport::VerifyReport(CDlgVerify& model, QWidget* parent) : ModelDialog(model, parent), m_report(model) {}

void VerifyReport::AddBody(QVBoxLayout* layout) {
    const bool correct = m_report.Verdict() == 1;
    // A correct signature by a certificate nobody confirmed proves only that whoever holds
    // that certificate signed: said beside the verdict, with a warning sign.
    const bool unconfirmed =
        correct && m_report.Record().proof.Proven() && m_report.Record().certState != kCertConfirmed;
    auto* top = new QHBoxLayout;
    auto* sign = new QLabel(this);
    const QStyle::StandardPixmap pixmap = !correct      ? QStyle::SP_MessageBoxCritical
                                          : unconfirmed ? QStyle::SP_MessageBoxWarning
                                                        : QStyle::SP_DialogApplyButton;
    sign->setPixmap(style()->standardIcon(pixmap).pixmap(32, 32));
    top->addWidget(sign);
    auto* verdict = new QLabel(QString::fromStdString(m_report.ResultLine()), this);
    verdict->setTextFormat(Qt::PlainText);
    verdict->setObjectName(QStringLiteral("verdict"));
    QFont bold = verdict->font();
    bold.setBold(true);
    verdict->setFont(bold);
    top->addWidget(verdict, 1);
    layout->addLayout(top);
    if (unconfirmed) {
        auto* note = new QLabel(QString::fromStdString(MessageText(msg::desktop::VerifyNotConfirmed)), this);
        note->setObjectName(QStringLiteral("unconfirmed"));
        note->setTextFormat(Qt::PlainText);
        note->setWordWrap(true);
        layout->addWidget(note);
    }
    QStringList rest;
    for (const std::string& line : m_model.Lines())
        if (line != m_report.ResultLine()) rest << QString::fromStdString(line);
    auto* text = new QPlainTextEdit(rest.join(QLatin1Char('\n')), this);
    text->setReadOnly(true);
    text->setMinimumSize(440, 240);
    layout->addWidget(text);
}
