#include "ProgressWindow.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "Dropped.h"
#include "Messages.h"
#include "Mnemonic.h"
#include "dialogs/Messages.h"

QString ByteText(uint64_t bytes) {
    if (bytes < 1024) return QStringLiteral("%1 B").arg(bytes);
    const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 3) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

ProgressWindow::ProgressWindow(const QString& title, const QString& text, std::function<uint64_t()> bytesDone,
                               uint64_t jobBytes, std::function<void()> stop, QWidget* parent)
    : QDialog(parent),
      m_bytesDone(std::move(bytesDone)),
      m_start(m_bytesDone()),
      m_jobBytes(jobBytes),
      m_stop(std::move(stop)) {
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    auto* line = new QLabel(text, this);
    line->setTextFormat(Qt::PlainText);
    layout->addWidget(line);
    m_file = new QLabel(this);
    m_file->setTextFormat(Qt::PlainText);
    m_file->setMinimumWidth(360);
    layout->addWidget(m_file);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    layout->addWidget(m_bar);
    m_bytes = new QLabel(this);
    layout->addWidget(m_bytes);
    auto* box = new QDialogButtonBox(this);
    m_cancel = box->addButton(WithMnemonic(QString::fromStdString(MessageText(msg::dialogs::Cancel)), QLatin1Char('C')),
                              QDialogButtonBox::RejectRole);
    m_cancel->setDefault(true);
    connect(m_cancel, &QPushButton::clicked, this, &ProgressWindow::Stop);
    layout->addWidget(box);
    m_clock.start();
    connect(&m_timer, &QTimer::timeout, this, &ProgressWindow::Tick);
    m_timer.start(200);
}

void ProgressWindow::SetFile(int percent, const QString& path) {
    m_file->setText(m_file->fontMetrics().elidedText(path, Qt::ElideMiddle, m_file->width()));
    m_file->setToolTip(path);
    if (m_jobBytes == 0) m_bar->setValue(std::clamp(percent, 0, 100));
}

void ProgressWindow::Tick() {
    const uint64_t done = m_bytesDone() - m_start;
    const double seconds = std::max(0.001, m_clock.elapsed() / 1000.0);
    const QString rate = ByteText(static_cast<uint64_t>(done / seconds));
    if (m_jobBytes > 0) {
        m_bar->setValue(static_cast<int>(std::min<uint64_t>(100, done * 100 / m_jobBytes)));
        m_bytes->setText(QString::fromStdString(MessageText(msg::desktop::BytesRate, ByteText(done).toStdString(),
                                                            ByteText(m_jobBytes).toStdString(), rate.toStdString())));
    } else {
        m_bytes->setText(QString::fromStdString(
            MessageText(msg::desktop::BytesOnly, ByteText(done).toStdString(), rate.toStdString())));
    }
}

void ProgressWindow::Stop() {
    if (m_finished) return;
    m_cancel->setEnabled(false);
    m_cancel->setText(QString::fromStdString(MessageText(msg::desktop::Stopping)));
    if (m_stop) m_stop();
}

void ProgressWindow::Finish() {
    m_finished = true;
    m_timer.stop();
    QDialog::done(QDialog::Accepted);
    deleteLater();
}

void ProgressWindow::reject() { Stop(); }

void ProgressWindow::closeEvent(QCloseEvent* event) {
    if (m_finished) return QDialog::closeEvent(event);
    event->ignore();
    Stop();
}

void ProgressWindow::AcceptDrops(std::function<void(std::vector<std::string>)> dropped) {
    m_dropped = std::move(dropped);
    setAcceptDrops(m_dropped != nullptr);
}

void ProgressWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!m_dropped || !AcceptFileDrag(event)) event->ignore();
}

void ProgressWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> files = DroppedFiles(event->mimeData());
    if (!m_dropped || files.empty()) return event->ignore();
    event->acceptProposedAction();
    m_dropped(std::move(files));
}
