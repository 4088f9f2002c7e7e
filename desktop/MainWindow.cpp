#include "MainWindow.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QLabel>
#include <QVBoxLayout>

#include "ActionRunner.h"
#include "Actions.h"
#include "Dropped.h"
#include "Messages.h"
#include "Mnemonic.h"

namespace {

const MessageDef& CaptionOf(std::string_view action) {
    static const std::pair<std::string_view, const MessageDef*> captions[] = {
        {"open", &msg::desktop::ActionOpen},         {"pack", &msg::desktop::ActionPack},
        {"envelope", &msg::desktop::ActionEnvelope}, {"encrypt", &msg::desktop::ActionEncrypt},
        {"share", &msg::desktop::ActionShare},       {"sign", &msg::desktop::ActionSign},
        {"verify", &msg::desktop::ActionVerify},     {"mail", &msg::desktop::ActionMail},
        {"wipe", &msg::desktop::ActionWipe},         {"properties", &msg::desktop::ActionProperties}};
    for (const auto& [name, caption] : captions)
        if (name == action) return *caption;
    return msg::desktop::ActionOpen;
}

}  // namespace

ActionList::ActionList(ActionRunner& runner, QWidget* parent) : QListWidget(parent), m_runner(runner) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    for (std::string_view action : ActionNames()) {
        auto* item = new QListWidgetItem(QString::fromStdString(MessageText(CaptionOf(action))), this);
        item->setData(Qt::UserRole, QString::fromLatin1(action.data(), static_cast<int>(action.size())));
    }
    setCurrentRow(0);
    auto ask = [this](QListWidgetItem* item) {
        const QStringList chosen = QFileDialog::getOpenFileNames(this, item->text());
        std::vector<std::string> files;
        for (const QString& path : chosen) files.push_back(path.toStdString());
        Take(item, std::move(files));
    };
    connect(this, &QListWidget::itemActivated, this, ask);
}

QString ActionList::ActionOf(const QListWidgetItem* item) { return item->data(Qt::UserRole).toString(); }

void ActionList::Take(QListWidgetItem* item, std::vector<std::string> files) {
    if (item && !files.empty()) m_runner.Enqueue(ActionOf(item).toStdString(), std::move(files));
}

void ActionList::dragEnterEvent(QDragEnterEvent* event) { AcceptFileDrag(event); }

void ActionList::dragMoveEvent(QDragMoveEvent* event) {
    QListWidgetItem* item = itemAt(event->position().toPoint());
    if (item) setCurrentItem(item);
    if (!item || !AcceptFileDrag(event)) event->ignore();
}

void ActionList::dropEvent(QDropEvent* event) {
    QListWidgetItem* item = itemAt(event->position().toPoint());
    std::vector<std::string> files = DroppedFiles(event->mimeData());
    if (!item || files.empty()) return event->ignore();
    event->acceptProposedAction();
    Take(item, std::move(files));
}

MainWindow::MainWindow(ActionRunner& runner, QWidget* parent) : QWidget(parent) {
    setWindowTitle(QString::fromStdString(MessageText(msg::desktop::MainTitle)));
    auto* layout = new QVBoxLayout(this);
    auto* hint =
        new QLabel(WithMnemonic(QString::fromStdString(MessageText(msg::desktop::MainHint)), QLatin1Char('A')), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    m_actions = new ActionList(runner, this);
    hint->setBuddy(m_actions);
    layout->addWidget(m_actions, 1);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed();
}
