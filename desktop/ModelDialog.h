#pragma once
// A dialog model shown as a real dialog: its title, its lines, an entry when it has one (masked
// when it asks so, with the reason the entry cannot be confirmed said under it), and its buttons
// with mnemonics and one default. A button ends the dialog with the model's Press, Escape and
// the close box with its Close; Answer() is what the model answered.

#include <QDialog>
#include <map>

#include "platform/UiHost.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

class ModelDialog : public QDialog {
    Q_OBJECT
public:
    explicit ModelDialog(DialogModel& model, QWidget* parent = nullptr);
    // Builds the standard body (the lines, one label each); a dialog of a kind of its own calls
    // Build with its own body instead.
    void Build();

    int Answer() const { return m_answer; }
    QPushButton* Button(int id) const;
    QLineEdit* Entry() const { return m_entry; }
    QLabel* Refusal() const { return m_refusal; }
    // Shows "Try N" above the entry from the second try on.
    void SetTry(int count);

protected:
    // The dialog's own body between the title and the entry.
    virtual void AddBody(QVBoxLayout* layout);
    // Whether the model's entry is shown (a dialog whose body edits the model itself says no).
    virtual bool ShowsEntry() const { return m_model.HasInput(); }
    void reject() override;
    // Buttons follow what the model allows now; a refused entry says why.
    void FollowEntry();

    DialogModel& m_model;

private:
    void Press(int id);
    void EntryEdited(const QString& text);

    std::map<int, QPushButton*> m_buttons;
    QLineEdit* m_entry = nullptr;
    QLabel* m_refusal = nullptr;
    QLabel* m_try = nullptr;
    int m_answer = 0;
    bool m_ended = false;
};

// The button a dialog defaults to: the model's own, else the one that answers as nobody would
// (its cancelling answer), else the first.
int DefaultButtonOf(const DialogModel& model);
// Ends a model as nobody answering it would: the button of its cancelling answer, else Close.
int CancelModel(DialogModel& model);
