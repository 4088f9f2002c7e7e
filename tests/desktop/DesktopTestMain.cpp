// The desktop tests run in one QApplication on Qt's offscreen platform, with the message
// catalogue's default texts; whatever reaches no Qt host is answered by nobody.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>

#include "platform/UiHost.h"

namespace {

// The offscreen platform warns about every top-level window's size hints; the rest is shown.
void QuietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (text.startsWith(QStringLiteral("This plugin does not support"))) return;
    fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(QuietOffscreen);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANGUAGE", "");
    qputenv("LC_ALL", "C");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QuietHost quiet;
    ScopedUiHost installed(quiet);
    return RUN_ALL_TESTS();
}
