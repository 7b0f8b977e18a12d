#include "windows/LinkWindow.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quellmarin::ui {

LinkWindow::LinkWindow(LinkEditor& editor, Section section, QWidget* parent)
    : QDialog(parent), editor_(editor), section_(section), stored_(editor.Rows(section)) {
    setObjectName(IsOutput(section) ? "outputLinkWindow" : "inputLinkWindow");
    setWindowTitle(QString::fromStdString(LinkEditor::Title(section)));
    setModal(true);
    auto* root = new QVBoxLayout(this);
    auto* frame = new QGroupBox(this);
    auto* grid = new QGridLayout(frame);
    grid->setSpacing(4);
    const std::vector<int> channels = editor_.Channels(section);
    const std::vector<int> groups = editor_.Groups(section);
    const QString side = IsOutput(section) ? "Output" : "Input";
    grid->addWidget(new QLabel(side, frame), 0, 0);
    for (int c = 0; c < int(channels.size()); ++c) {
        auto* head = new QLabel(QString::fromStdString(editor_.ColumnLabel(section, channels[c])), frame);
        head->setAlignment(Qt::AlignCenter);
        grid->addWidget(head, 0, 1 + c);
    }
    for (int r = 0; r < int(groups.size()); ++r)
        grid->addWidget(new QLabel(QString("%1 Group").arg(r + 1), frame), 1 + r, 0);
    for (int c = 0; c < int(channels.size()); ++c) {
        const int channel = channels[c];
        auto* column = new QButtonGroup(this);
        column->setExclusive(true);
        columns_[channel] = column;
        const QString label = QString::fromStdString(editor_.ColumnLabel(section, channel));
        for (int r = 0; r < int(groups.size()); ++r) {
            // Every button of a column carries its channel: the input's letter or the output's number.
            auto* b = new QPushButton(label, frame);
            b->setCheckable(true);
            b->setFixedSize(40, 26);
            b->setAccessibleName(QString("%1 %2 in group %3").arg(side, label).arg(r + 1));
            column->addButton(b, groups[r]);
            grid->addWidget(b, 1 + r, 1 + c);
        }
        if (QAbstractButton* chosen = column->button(stored_[channel])) chosen->setChecked(true);
    }
    root->addWidget(frame);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName("Confirm the link groups");
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName("Leave the link groups as they were");
    root->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::array<int, 8> LinkWindow::Rows() const {
    std::array<int, 8> rows = stored_;
    for (int k = 0; k < 8; ++k)
        if (columns_[k] && columns_[k]->checkedId() >= 0) rows[k] = columns_[k]->checkedId();
    return rows;
}

void LinkWindow::Choose(int channel, int group) {
    if (QAbstractButton* b = GroupButton(channel, group)) b->click();
}

QAbstractButton* LinkWindow::GroupButton(int channel, int group) const {
    return columns_.at(channel) ? columns_[channel]->button(group) : nullptr;
}

} // namespace quellmarin::ui
