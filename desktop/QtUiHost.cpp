#include "QtUiHost.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "ProgressWindow.h"
#include "ShowDialog.h"
#include "platform/MessageBox.h"

namespace {

QMessageBox::Icon IconOf(unsigned type) {
    switch (type & MB_ICONMASK) {
        case MB_ICONSTOP:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

struct BoxButton {
    QMessageBox::StandardButton button;
    int id;
};

std::vector<BoxButton> ButtonsOf(unsigned type) {
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
            return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
        case MB_ABORTRETRYIGNORE:
            return {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
        case MB_YESNOCANCEL:
            return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        case MB_YESNO:
            return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
        case MB_RETRYCANCEL:
            return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
        default:
            return {{QMessageBox::Ok, IDOK}};
    }
}

int AskBox(QWidget* parent, const std::string& text, unsigned type) {
    QMessageBox box(IconOf(type), QCoreApplication::applicationName(), QString::fromStdString(text),
                    QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    const std::vector<BoxButton> buttons = ButtonsOf(type);
    const int cancelling = CancellingAnswer(type);
    for (const BoxButton& b : buttons) {
        QPushButton* button = box.addButton(b.button);
        const size_t defaultAt = (type & MB_DEFBUTTON2) && buttons.size() > 1 ? 1 : 0;
        if (&b == &buttons[defaultAt]) box.setDefaultButton(button);
        if (b.id == cancelling) box.setEscapeButton(button);
    }
    box.exec();
    const QMessageBox::StandardButton pressed = box.standardButton(box.clickedButton());
    for (const BoxButton& b : buttons)
        if (b.button == pressed) return b.id;
    return cancelling;
}

// What a progress window shows, driven from the engine's thread: each call is posted to the
// window's thread and never waits.
class QtProgressView : public IProgressView {
public:
    QtProgressView(QtUiHost& host, QPointer<ProgressWindow> window) : m_host(host), m_window(std::move(window)) {}
    ~QtProgressView() override { Finish(); }
    void Update(int percent, const std::string& path) override {
        QMetaObject::invokeMethod(
            &m_host,
            [window = m_window, percent, path = QString::fromStdString(path)] {
                if (window) window->SetFile(percent, path);
            },
            Qt::QueuedConnection);
    }
    void Finish() override {
        if (m_finished) return;
        m_finished = true;
        QMetaObject::invokeMethod(
            &m_host,
            [window = m_window] {
                if (window) window->Finish();
            },
            Qt::QueuedConnection);
    }

private:
    QtUiHost& m_host;
    QPointer<ProgressWindow> m_window;
    bool m_finished = false;
};

class NoProgressView : public IProgressView {
public:
    void Update(int, const std::string&) override {}
    void Finish() override {}
};

}  // namespace

QtUiHost::QtUiHost(QObject* parent) : QObject(parent) {
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &QtUiHost::Shutdown);
}

QtUiHost::~QtUiHost() { Shutdown(); }

void QtUiHost::Shutdown() {
    m_closing = true;
    m_stop = true;
}

template <typename Ask>
std::optional<int> QtUiHost::OnGui(Ask ask) {
    if (m_closing || QCoreApplication::closingDown()) return std::nullopt;
    if (QThread::currentThread() == thread()) return ask();
    std::optional<int> answer;
    // Delivered while the host lives; a host destroyed first drops the call, which also
    // releases this thread, with no answer.
    QMetaObject::invokeMethod(
        this,
        [&] {
            if (!m_closing) answer = ask();
        },
        Qt::BlockingQueuedConnection);
    return answer;
}

int QtUiHost::NamedMessageBox(std::string_view, const std::string& text, unsigned type) {
    std::optional<int> answer = OnGui([&] { return AskBox(m_parent, text, type); });
    return answer ? *answer : CancellingAnswer(type);
}

int QtUiHost::RunDialog(DialogModel& dialog) {
    std::optional<int> answer = OnGui([&] {
        if (dialog.Kind() == "password") {
            const std::string prompt = dialog.InputLabel();
            m_tries = prompt == m_lastPrompt ? m_tries + 1 : 0;
            m_lastPrompt = prompt;
        }
        return ShowDialog(dialog, m_parent, dialog.Kind() == "password" ? m_tries : 0);
    });
    return answer ? *answer : CancelModel(dialog);
}

std::unique_ptr<IProgressView> QtUiHost::CreateProgressView(const std::string& title, const std::string& text) {
    QPointer<ProgressWindow> window;
    OnGui([&] {
        window = new ProgressWindow(
            QString::fromStdString(title), QString::fromStdString(text), [this] { return BytesDone(); }, m_jobBytes,
            [this] { RequestStop(); }, m_parent);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->AcceptDrops(m_dropped);
        window->show();
        return 0;
    });
    if (!window) return std::make_unique<NoProgressView>();
    return std::make_unique<QtProgressView>(*this, window);
}
