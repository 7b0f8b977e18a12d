#include "windows/InputDelayPopup.h"

#include "widgets/Controls.h"
#include "windows/DelayRoutesView.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quellmarin::ui {

InputDelayPopup::InputDelayPopup(DelayEditor& editor, DeviceModel model, QWidget* parent)
    : DelayPopup(editor, 2, model, parent) {
    setObjectName("inputDelayPopup");
    setProperty("what", "delay window");
    auto* root = new QVBoxLayout(this);
    auto* fields = new QGridLayout;
    channelLabel_ = new QLabel(this);
    channelLabel_->setObjectName("delayChannel");
    fields->addWidget(channelLabel_, 0, 0);
    fields->addWidget(new QLabel("Milliseconds:", this), 0, 1);
    fields->addWidget(ms_, 0, 2);
    fields->addWidget(up_, 0, 3);
    fields->addWidget(down_, 0, 4);
    fields->addWidget(new QLabel("Metres:", this), 0, 5);
    fields->addWidget(metres_, 0, 6);
    fields->setColumnStretch(7, 1);
    root->addLayout(fields);

    table_ = new QTableWidget(8, 3, this);
    table_->setObjectName("outputsTable");
    table_->setAccessibleName("Delay of every output and the total through it");
    table_->setHorizontalHeaderLabels({"Output delay", "Total delay", "Total distance"});
    QStringList rows;
    for (int k = 0; k < 8; ++k) rows << QString("Output %1").arg(k + 1);
    table_->setVerticalHeaderLabels(rows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setFocusPolicy(Qt::NoFocus);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(24);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setMinimumSize(400, table_->horizontalHeader()->sizeHint().height() + 8 * 24 + 4);
    for (int k = 0; k < 8; ++k)
        for (int c = 0; c < 3; ++c) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(k, c, item);
        }
    routes_ = new DelayRoutesView(table_, this);
    auto* tableRow = new QHBoxLayout;
    tableRow->addWidget(routes_);
    tableRow->addWidget(table_, 1);
    root->addLayout(tableRow, 1);
}

void InputDelayPopup::ShowFields() {
    DelayPopup::ShowFields();
    channelLabel_->setText(QString::fromStdString(DelayEditor::Label(Channel())));
    RebuildOutputsTable();
}

void InputDelayPopup::RebuildOutputsTable() {
    const auto rows = OutputDelayTable(editor_.Context().params, Channel());
    std::array<bool, 8> routed{};
    for (int k = 0; k < 8; ++k) {
        table_->item(k, 0)->setText(QString::fromStdString(rows[k].own));
        table_->item(k, 1)->setText(QString::fromStdString(rows[k].total));
        table_->item(k, 2)->setText(QString::fromStdString(rows[k].totalMetres));
        routed[k] = rows[k].routed;
    }
    routes_->SetRoutes(routed);
}

} // namespace quellmarin::ui
