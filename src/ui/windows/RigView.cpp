#include "windows/RigView.h"

#include "widgets/RigMeters.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quellmarin::ui {

RigView::RigView(DeviceModel model, QWidget* parent) : QWidget(parent), model_(model) {
    setObjectName("rigView");
    setAccessibleName("Rig");
    // The table with the buttons beside it, so that the view takes little height from the panel.
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    table_ = new QTableWidget(0, 6, this);
    table_->setObjectName("rigTable");
    table_->setAccessibleName("Processors of the rig");
    table_->setHorizontalHeaderLabels({"Group", "Name", "ID / port", "State", "Program", "Meters"});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    table_->verticalHeader()->hide();
    // The group boxes stand out on the dark theme: an outline, filled when ticked.
    table_->setStyleSheet("QTableView::indicator { width: 12px; height: 12px; border: 1px solid #9aa0aa; "
                          "background: #1c1e24; } QTableView::indicator:checked { background: #3fa9f5; }");
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    table_->setToolTip("Choose a processor to edit it; F2 renames it; tick the boxes of a group to edit them together");
    layout->addWidget(table_, 1);

    auto* buttons = new QVBoxLayout;
    connect_ = new QPushButton("Connect", this);
    connect_->setObjectName("rigConnect");
    connect_->setAccessibleName("Connect the chosen processor");
    connect_->setToolTip("Connect the chosen processor; one opened from a show file is compared with the device");
    groupAll_ = new QPushButton("Group all", this);
    groupAll_->setObjectName("rigGroupAll");
    groupAll_->setAccessibleName("Group all processors");
    groupAll_->setToolTip("Every edit is made on every processor of the rig");
    noGroup_ = new QPushButton("No group", this);
    noGroup_->setObjectName("rigNoGroup");
    noGroup_->setAccessibleName("End the group");
    noGroup_->setToolTip("Edits go to the chosen processor alone");
    buttons->setSpacing(2);
    buttons->addWidget(connect_);
    buttons->addWidget(groupAll_);
    buttons->addWidget(noGroup_);
    buttons->addStretch(1);
    layout->addLayout(buttons);

    connect(table_, &QTableWidget::currentCellChanged, this, [this](int row, int, int previous, int) {
        if (!filling_ && row >= 0 && row != previous) emit unitChosen(row);
        RefreshButtons();
    });
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_) return;
        const int row = item->row();
        if (row < 0 || row >= static_cast<int>(rows_.size())) return;
        if (item->column() == GroupColumn) {
            emit groupChosen(TickedRows());
        } else if (item->column() == NameColumn) {
            const QString name = item->text().trimmed();
            if (name.isEmpty() || name == rows_[row].name) {
                // A blank name is not taken: the old one comes back.
                filling_ = true;
                item->setText(rows_[row].name);
                filling_ = false;
                return;
            }
            emit renamed(row, name);
        }
    });
    connect(connect_, &QPushButton::clicked, this, [this] {
        if (SelectedRow() >= 0) emit connectRequested(SelectedRow());
    });
    connect(groupAll_, &QPushButton::clicked, this, [this] {
        QList<int> all;
        for (int i = 0; i < RowCount(); ++i) all << i;
        emit groupChosen(all);
    });
    connect(noGroup_, &QPushButton::clicked, this, [this] { emit groupChosen({}); });
    RefreshButtons();
}

QSize RigView::sizeHint() const {
    const int rows = table_->verticalHeader()->defaultSectionSize() * 4 + table_->horizontalHeader()->sizeHint().height();
    return {640, rows + 12};
}

QSize RigView::minimumSizeHint() const {
    const int rows = table_->verticalHeader()->defaultSectionSize() * 2 + table_->horizontalHeader()->sizeHint().height();
    return {480, std::max(rows + 8, connect_->sizeHint().height() * 3 + 16)};
}

int RigView::RowCount() const {
    return table_->rowCount();
}

int RigView::SelectedRow() const {
    return table_->currentRow();
}

RigMeters* RigView::Meters(int row) const {
    return qobject_cast<RigMeters*>(table_->cellWidget(row, MetersColumn));
}

void RigView::SetRows(const std::vector<Row>& rows, int selected) {
    filling_ = true;
    const bool sameCount = table_->rowCount() == static_cast<int>(rows.size());
    if (!sameCount) table_->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const Row& row = rows[r];
        const auto cell = [&](int column, const QString& text, Qt::ItemFlags flags) {
            QTableWidgetItem* item = table_->item(r, column);
            if (!item) {
                item = new QTableWidgetItem;
                table_->setItem(r, column, item);
            }
            item->setFlags(flags);
            if (column != GroupColumn) item->setText(text);
            return item;
        };
        const Qt::ItemFlags chosen = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        QTableWidgetItem* group = cell(GroupColumn, {}, chosen | Qt::ItemIsUserCheckable);
        group->setCheckState(row.inGroup ? Qt::Checked : Qt::Unchecked);
        group->setData(Qt::AccessibleTextRole, "In the group: " + row.name);
        cell(NameColumn, row.name, chosen | Qt::ItemIsEditable)->setData(Qt::AccessibleTextRole, "Name: " + row.name);
        cell(IdColumn, row.idPort, chosen);
        QTableWidgetItem* state = cell(StateColumn, row.state, chosen);
        state->setForeground(row.connected ? (row.state.startsWith("lost") ? QColor(230, 90, 60) : QColor(70, 190, 100))
                                           : palette().color(QPalette::Disabled, QPalette::Text));
        cell(ProgramColumn, row.program, chosen);
        RigMeters* meters = Meters(r);
        if (!meters) {
            meters = new RigMeters(model_, table_);
            table_->setCellWidget(r, MetersColumn, meters);
        }
        meters->setAccessibleName("Meters of " + row.name);
        if (!row.connected || row.state.startsWith("lost")) meters->Reset();
    }
    rows_ = rows;
    if (selected >= 0 && selected < static_cast<int>(rows.size()) && table_->currentRow() != selected)
        table_->setCurrentCell(selected, NameColumn);
    filling_ = false;
    int connected = 0, grouped = 0;
    for (const Row& r : rows) {
        connected += r.connected ? 1 : 0;
        grouped += r.inGroup ? 1 : 0;
    }
    summary_ = QString("%1 processor(s), %2 connected").arg(rows.size()).arg(connected) +
               (grouped >= 2 ? QString(", group of %1").arg(grouped) : QString());
    setAccessibleDescription(summary_);
    RefreshButtons();
}

void RigView::SetLevels(int row, const LevelFrame& frame) {
    if (RigMeters* m = Meters(row)) m->SetFrame(frame);
}

void RigView::ResetLevels(int row) {
    if (RigMeters* m = Meters(row)) m->Reset();
}

QList<int> RigView::TickedRows() const {
    QList<int> rows;
    for (int r = 0; r < table_->rowCount(); ++r)
        if (const QTableWidgetItem* item = table_->item(r, GroupColumn); item && item->checkState() == Qt::Checked)
            rows << r;
    return rows;
}

void RigView::RefreshButtons() {
    const int row = SelectedRow();
    connect_->setEnabled(row >= 0 && row < static_cast<int>(rows_.size()) && !rows_[row].connected);
    groupAll_->setEnabled(rows_.size() >= 2);
    noGroup_->setEnabled(std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return r.inGroup; }) > 0);
}

} // namespace quellmarin::ui
