#pragma once
// The recipient chooser: users and groups with their certificate state in a list the filter
// box narrows, a check box per row (none for a row no package can be made for), a group's
// members under it, and the "me too" box. OK is enabled once someone is chosen.

#include "ModelDialog.h"

class QCheckBox;
class QLineEdit;
class QTreeWidget;
class RecipientChoice;

class RecipientChooser : public ModelDialog {
    Q_OBJECT
public:
    RecipientChooser(RecipientChoice& model, QWidget* parent = nullptr);

    QLineEdit* Filter() const { return m_filter; }
    QTreeWidget* List() const { return m_list; }
    QCheckBox* MeToo() const { return m_meToo; }

protected:
    void AddBody(QVBoxLayout* layout) override;

private:
    void ApplyFilter(const QString& text);

    RecipientChoice& m_choice;
    QLineEdit* m_filter = nullptr;
    QTreeWidget* m_list = nullptr;
    QCheckBox* m_meToo = nullptr;
};
