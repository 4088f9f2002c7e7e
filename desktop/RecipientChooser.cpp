#include "RecipientChooser.h"

#include <QCheckBox>
#include <QColor>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "Messages.h"
#include "Mnemonic.h"
#include "Recipients.h"

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

enum Column { kName, kId, kEmail, kState };

void FillColumns(QTreeWidgetItem* item, const RecipientRow& row) {
    const bool group = row.kind == RecipientRow::Kind::kGroup;
    item->setText(kName, Q(group ? MessageText(msg::desktop::GroupRow, row.name, static_cast<int>(row.members.size()))
                                 : row.name));
    item->setText(kId, Q(row.id));
    item->setText(kEmail, Q(row.email));
    int usable = 0;
    for (const RecipientRow& member : row.members) usable += member.Usable() ? 1 : 0;
    const int total = static_cast<int>(row.members.size());
    item->setText(kState,
                  Q(group && usable > 0 && usable < total ? MessageText(msg::desktop::GroupPartly, usable, total)
                    : !row.stateNote.empty()              ? row.stateNote
                                                          : CertStateText(row.certState)));
    if (!row.Usable()) item->setForeground(kState, QColor(0xb0, 0, 0));
}

}  // namespace

RecipientChooser::RecipientChooser(RecipientChoice& model, QWidget* parent)
    : ModelDialog(model, parent), m_choice(model) {}

void RecipientChooser::AddBody(QVBoxLayout* layout) {
    // The hint names the list and takes its mnemonic (Alt+C reaches the list).
    auto* hint = new QLabel(WithMnemonic(Q(MessageText(msg::desktop::ChooserHint)), QLatin1Char('C')), this);
    hint->setWordWrap(true);
    layout->addWidget(hint);
    auto* filterLabel = new QLabel(WithMnemonic(Q(MessageText(msg::desktop::ChooserFilter)), QLatin1Char('S')), this);
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("filter"));
    m_filter->setClearButtonEnabled(true);
    filterLabel->setBuddy(m_filter);
    layout->addWidget(filterLabel);
    layout->addWidget(m_filter);

    m_list = new QTreeWidget(this);
    m_list->setHeaderLabels({Q(MessageText(msg::desktop::ColumnName)), Q(MessageText(msg::desktop::ColumnId)),
                             Q(MessageText(msg::desktop::ColumnEmail)), Q(MessageText(msg::desktop::ColumnCert))});
    hint->setBuddy(m_list);
    m_list->setRootIsDecorated(true);
    m_list->setMinimumSize(600, 220);
    const std::vector<RecipientRow>& rows = m_choice.Rows();
    for (size_t i = 0; i < rows.size(); ++i) {
        auto* item = new QTreeWidgetItem(m_list);
        FillColumns(item, rows[i]);
        item->setData(kName, Qt::UserRole, static_cast<qulonglong>(i));
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (rows[i].Usable() && !m_choice.Kept(i)) flags |= Qt::ItemIsUserCheckable;
        item->setFlags(flags);
        // No box at all for a row nobody can tick.
        if (flags & Qt::ItemIsUserCheckable || m_choice.Kept(i))
            item->setCheckState(kName, m_choice.Checked(i) ? Qt::Checked : Qt::Unchecked);
        for (const RecipientRow& member : rows[i].members) {
            auto* child = new QTreeWidgetItem(item);
            FillColumns(child, member);
            child->setFlags(Qt::ItemIsEnabled);
        }
    }
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_list, 1);
    connect(m_list, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (column != kName || item->parent()) return;
        m_choice.SetChecked(item->data(kName, Qt::UserRole).toULongLong(), item->checkState(kName) == Qt::Checked);
        FollowEntry();
    });
    connect(m_filter, &QLineEdit::textChanged, this, &RecipientChooser::ApplyFilter);
    // Shown again after a search: the text searched for, and the rows it narrows.
    m_filter->setText(Q(m_choice.Filter()));

    m_meToo =
        new QCheckBox(WithMnemonic(Q(MessageText(msg::desktop::ChooserMeToo, m_choice.Me())), QLatin1Char('M')), this);
    m_meToo->setChecked(m_choice.MeToo());
    m_meToo->setEnabled(!m_choice.MeAlways());
    connect(m_meToo, &QCheckBox::toggled, this, [this](bool on) {
        m_choice.SetMeToo(on);
        FollowEntry();
    });
    layout->addWidget(m_meToo);
}

void RecipientChooser::ApplyFilter(const QString& text) {
    const std::string filter = text.toStdString();
    m_choice.SetFilter(filter);
    FollowEntry();  // Search follows the text
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        item->setHidden(!m_choice.Matches(item->data(kName, Qt::UserRole).toULongLong(), filter));
    }
}
