#include "PropertySheetDialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include "Mnemonic.h"
#include "shell/PropertySheet.h"

PropertySheetDialog::PropertySheetDialog(CPropertySheet& sheet, QWidget* parent)
    : ModelDialog(sheet, parent), m_sheet(sheet) {}

void PropertySheetDialog::AddBody(QVBoxLayout* layout) {
    auto* tabs = new QTabWidget(this);
    for (const auto& page : m_sheet.Pages()) {
        auto* widget = new QWidget(tabs);
        auto* form = new QFormLayout(widget);
        for (const SheetLine& line : page->Lines()) {
            QString value = QString::fromStdString(line.value);
            if (!line.extra.empty()) value += QLatin1Char(' ') + QString::fromStdString(line.extra);
            auto* text = new QLabel(value, widget);
            text->setTextFormat(Qt::PlainText);
            text->setTextInteractionFlags(Qt::TextSelectableByMouse);
            form->addRow(QString::fromStdString(line.label), text);
        }
        PropertyPage* target = page.get();
        for (const AttributeBox& box : page->Boxes()) {
            auto* check =
                new QCheckBox(WithMnemonic(QString::fromStdString(box.caption), QLatin1Char(box.letter)), widget);
            check->setChecked(box.checked);
            check->setEnabled(box.enabled);
            connect(check, &QCheckBox::toggled, this, [target, id = box.id] { target->Click(id); });
            form->addRow(check);
        }
        tabs->addTab(widget, QString::fromStdString(page->Caption()));
    }
    layout->addWidget(tabs);
}
