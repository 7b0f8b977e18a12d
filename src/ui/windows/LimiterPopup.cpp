#include "windows/LimiterPopup.h"

#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>

namespace quellmarin::ui {

LimiterPopup::LimiterPopup(LimiterEditor& editor, DeviceModel model, QWidget* parent)
    : ModulePopup(9, Section::Output, parent, model), editor_(editor) {
    setObjectName("limiterPopup");
    setProperty("what", "limiter window");
    auto* grid = new QGridLayout(this);
    list_ = new QListWidget(this);
    list_->setObjectName("limitList");
    list_->setProperty("what", "limiter threshold");
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int i = 0; i < LimiterEditor::kItems; ++i) {
        list_->addItem(QString::fromStdString(LimiterEditor::ItemText(i)));
        list_->item(i)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    list_->setMinimumSize(150, 220);
    auto* current = new QLabel(QString::fromUtf8(LimiterEditor::kCurrentLabel.data()), this);
    selected_ = new QLabel(this);
    selected_->setObjectName("limitSelected");
    QFont bold = selected_->font();
    bold.setBold(true);
    selected_->setFont(bold);
    auto* reference = new QLabel(QString::fromUtf8(LimiterEditor::kReference.data()), this);
    grid->addWidget(list_, 0, 0, 4, 1);
    grid->addWidget(current, 0, 1);
    grid->addWidget(selected_, 1, 1);
    grid->addWidget(reference, 2, 1);
    grid->setRowStretch(3, 1);
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        editor_.Select(Channel(), row);
        if (row >= 0) selected_->setText(list_->item(row)->text());
        emit edited();
    });
}

QString LimiterPopup::TitleFor(int channel) const {
    return QString::fromStdString(editor_.Title(channel));
}

void LimiterPopup::Reload() {
    const int item = editor_.SelectedItem(Channel());
    const QSignalBlocker quiet(list_);
    list_->setCurrentRow(item);
    list_->scrollToItem(list_->item(item), QAbstractItemView::PositionAtCenter);
    selected_->setText(list_->item(item)->text());
}

} // namespace quellmarin::ui
