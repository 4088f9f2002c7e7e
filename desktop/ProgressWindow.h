#pragma once
// The progress window of a bulk operation: its text, the file being worked on, a bar, the
// bytes done and the rate. The bar follows the bytes of the whole job when they are known (so
// it moves within a large file), else the operation's own percentage. Cancel (or the close
// box) asks the engine to stop; the window stays, saying it is stopping, until the operation
// ends it.

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;

class ProgressWindow : public QDialog {
    Q_OBJECT
public:
    // bytesDone: the bytes moved so far (read on each tick); jobBytes: the job's size, 0 when
    // unknown; stop: what Cancel does.
    ProgressWindow(const QString& title, const QString& text, std::function<uint64_t()> bytesDone, uint64_t jobBytes,
                   std::function<void()> stop, QWidget* parent = nullptr);

    void SetFile(int percent, const QString& path);
    // The operation ended: the window goes.
    void Finish();

    // Files dropped on the window go to `dropped` (the next run of the same action).
    void AcceptDrops(std::function<void(std::vector<std::string>)> dropped);

    QPushButton* CancelButton() const { return m_cancel; }
    QProgressBar* Bar() const { return m_bar; }

protected:
    void reject() override;  // Escape and the close box: as Cancel
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void Tick();
    void Stop();

    QLabel* m_file;
    QProgressBar* m_bar;
    QLabel* m_bytes;
    QPushButton* m_cancel;
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::function<uint64_t()> m_bytesDone;
    uint64_t m_start;
    uint64_t m_jobBytes;
    std::function<void()> m_stop;
    std::function<void(std::vector<std::string>)> m_dropped;
    bool m_finished = false;
};

// "512 B", "1.5 KiB", "12.0 MiB", "3.2 GiB".
QString ByteText(uint64_t bytes);
