#include "Mnemonic.h"

#include <QRegularExpression>

QString WithMnemonic(const QString& caption, QChar key) {
    if (caption.contains(QLatin1Char('&'))) return caption;
    static const QRegularExpression marked(QStringLiteral("\\(([A-Za-z0-9])\\)\\s*$"));
    QRegularExpressionMatch m = marked.match(caption);
    if (m.hasMatch()) {
        QString text = caption;
        return text.insert(m.capturedStart(1), QLatin1Char('&'));
    }
    const QChar upper = key.toUpper();
    if (!caption.isEmpty() && caption.at(0).unicode() < 0x80) {
        int at = caption.indexOf(key, 0, Qt::CaseInsensitive);
        QString text = caption;
        return text.insert(at < 0 ? 0 : at, QLatin1Char('&'));
    }
    return caption + QStringLiteral("(&") + upper + QLatin1Char(')');
}
