#pragma once
// The small window varnex-desktop shows when started without an action: the actions in a list;
// files dropped on one run it with them, and Enter (or a double click) on one asks for its files.

#include <QListWidget>
#include <QWidget>

class ActionRunner;

class ActionList : public QListWidget {
    Q_OBJECT
public:
    explicit ActionList(ActionRunner& runner, QWidget* parent = nullptr);
    // The action of a row, as FindAction names it.
    static QString ActionOf(const QListWidgetItem* item);
    // Runs the row's action with the files (what a drop on it does).
    void Take(QListWidgetItem* item, std::vector<std::string> files);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    ActionRunner& m_runner;
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(ActionRunner& runner, QWidget* parent = nullptr);
    ActionList* Actions() const { return m_actions; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    ActionList* m_actions;
};
