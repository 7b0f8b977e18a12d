#include "windows/ProgramListWindow.h"

#include "widgets/MessageBox.h"
#include "widgets/QText.h"
#include "widgets/JobRunner.h"
#include "widgets/Controls.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace quellmarin::ui {

namespace {} // namespace

ProgramListWindow::ProgramListWindow(JobRunner& app, QWidget* parent)
    : QDialog(parent), app_(app), list_(app.Context()) {
    setObjectName("programListWindow");
    setWindowTitle(Q(ProgramList::kTitle));
    setModal(true);
    auto* root = new QVBoxLayout(this);

    auto* top = new QGridLayout;
    number_ = new QLineEdit(this);
    number_->setObjectName("currentProgramNumber");
    number_->setAccessibleName("Current program number");
    number_->setReadOnly(true);
    number_->setMaximumWidth(60);
    name_ = new CMyTextEdit(5, this);
    name_->setObjectName("currentProgramName");
    name_->setAccessibleName("Current program name");
    name_->setMaxLength(kNameLength);
    modify_ = new QPushButton(Q(ProgramList::kModify), this);
    modify_->setObjectName("programModify");
    modify_->setAccessibleName("Rename the current program");
    top->addWidget(new QLabel("Current Program No.", this), 0, 0);
    top->addWidget(number_, 0, 1);
    top->addWidget(new QLabel("Current Program Name:", this), 1, 0);
    top->addWidget(name_, 1, 1, 1, 2);
    top->addWidget(modify_, 1, 3);
    root->addLayout(top);

    auto* middle = new QHBoxLayout;
    rows_ = new QTreeWidget(this);
    rows_->setObjectName("programRows");
    rows_->setAccessibleName("Programs in the device");
    rows_->setColumnCount(3);
    rows_->setHeaderLabels({"No.", "Name", " "});
    rows_->setRootIsDecorated(false);
    rows_->setSelectionMode(QAbstractItemView::SingleSelection);
    rows_->setSelectionBehavior(QAbstractItemView::SelectRows);
    rows_->setAllColumnsShowFocus(true);
    rows_->setUniformRowHeights(true);
    rows_->setStyleSheet("QTreeWidget { background: rgb(0, 64, 64); color: white; }"
                         "QTreeWidget::item:selected { background: rgb(0, 120, 140); color: white; }");
    rows_->setMinimumSize(340, 360);
    rows_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rows_->header()->setStretchLastSection(false);
    rows_->header()->setSectionResizeMode(0, QHeaderView::Fixed);
    rows_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    rows_->header()->setSectionResizeMode(2, QHeaderView::Fixed);
    rows_->setColumnWidth(0, 64);
    rows_->setColumnWidth(2, 24);
    for (int slot = 1; slot <= kProgramSlots; ++slot) {
        auto* item = new QTreeWidgetItem(rows_, {QString("%1").arg(slot, 2, 10, QChar('0')), QString(), " "});
        item->setData(0, Qt::UserRole, slot);
    }
    middle->addWidget(rows_, 1);

    auto* buttons = new QVBoxLayout;
    const auto button = [&](const char* name, const QString& accessible) {
        auto* b = new QPushButton(this);
        b->setObjectName(name);
        b->setAccessibleName(accessible);
        b->setMinimumWidth(150);
        buttons->addWidget(b);
        return b;
    };
    recall_ = button("programRecall", "Recall the selected program");
    delete_ = button("programDelete", "Delete the selected program");
    saveAs_ = button("programSaveAs", "Save the current settings as the selected program");
    buttons->addSpacing(16);
    refresh_ = button("programRefresh", "Read the program names again");
    refresh_->setText("Refresh");
    stop_ = button("programStop", "Pause the reading of program names");
    stop_->setText("Stop");
    continue_ = button("programContinue", "Continue the reading of program names");
    continue_->setText("Continue..");
    buttons->addStretch(1);
    middle->addLayout(buttons);
    root->addLayout(middle, 1);

    connect(rows_, &QTreeWidget::itemSelectionChanged, this, &ProgramListWindow::RowClicked);
    connect(name_, &QLineEdit::textEdited, this, [this] { modify_->setText(Q(ProgramList::kModify)); });
    connect(modify_, &QPushButton::clicked, this, &ProgramListWindow::Modify);
    connect(recall_, &QPushButton::clicked, this, &ProgramListWindow::Recall);
    connect(delete_, &QPushButton::clicked, this, &ProgramListWindow::Delete);
    connect(saveAs_, &QPushButton::clicked, this, &ProgramListWindow::SaveAs);
    connect(refresh_, &QPushButton::clicked, this, [this] {
        list_.Refresh();
        for (int slot = 1; slot <= kProgramSlots; ++slot) ShowRow(slot);
        ReadNext();
    });
    connect(stop_, &QPushButton::clicked, this, [this] {
        list_.Stop();
        UpdateButtons();
    });
    connect(continue_, &QPushButton::clicked, this, [this] {
        list_.Continue();
        ReadNext();
    });

    ShowCurrent();
    UpdateButtons();
    ReadNext();
}

QPushButton* ProgramListWindow::Button(ProgramList::Button b) const {
    switch (b) {
    case ProgramList::Button::SaveAs:
        return saveAs_;
    case ProgramList::Button::Delete:
        return delete_;
    case ProgramList::Button::Recall:
        return recall_;
    case ProgramList::Button::Modify:
        break;
    }
    return modify_;
}

void ProgramListWindow::ShowCurrent() {
    number_->setText(QString::fromStdString(list_.CurrentNumberText()));
    name_->setText(QString::fromLatin1(list_.CurrentName().c_str()));
}

void ProgramListWindow::ShowRow(int slot) {
    QTreeWidgetItem* item = rows_->topLevelItem(slot - 1);
    if (!item) return;
    const auto& row = list_.Row(slot);
    item->setText(1, row ? QString::fromLatin1(row->c_str()) : QString());
}

void ProgramListWindow::ReadNext() {
    UpdateButtons();
    if (querying_) return;
    const auto slot = list_.NextQuery();
    if (!slot) return;
    if (!app_.Connected()) {
        list_.Stop();
        UpdateButtons();
        return;
    }
    querying_ = true;
    const std::string address = app_.Address();
    const LinkTimings timings = app_.Timings();
    const int asked = *slot;
    app_.RunJob<SlotReply>(
        [address, asked, timings](CSerialPort& port, const std::function<void(int)>&) {
            return QuerySlot(port, address, asked, timings);
        },
        this, {},
        [this, asked](std::optional<SlotReply> reply) {
            querying_ = false;
            // Names fill in where they are; the list stays where the user has scrolled it.
            if (list_.TakeReply(asked, reply.value_or(SlotReply{}))) ShowRow(asked);
            if (!list_.Reading() && !list_.NextQuery() && !list_.CanContinue()) {
                // All names are in: the current program's row is the selected one, unless the user
                // has chosen a row meanwhile.
                ShowCurrent();
                QTreeWidgetItem* item = rows_->topLevelItem(list_.Current() - 1);
                if (item && rows_->selectedItems().isEmpty()) {
                    rows_->setCurrentItem(item);
                    rows_->scrollToItem(item);
                }
            }
            ReadNext();
        });
}

void ProgramListWindow::RowClicked() {
    const auto selected = rows_->selectedItems();
    list_.Select(selected.isEmpty() ? -1 : selected.first()->data(0, Qt::UserRole).toInt());
    UpdateButtons();
}

void ProgramListWindow::UpdateButtons() {
    using B = ProgramList::Button;
    for (B b : {B::SaveAs, B::Delete, B::Recall}) {
        QPushButton* button = Button(b);
        if (!list_.Busy(b)) button->setText(Q(list_.Title(b)));
        button->setEnabled(list_.Enabled(b) && !list_.Busy(b));
    }
    stop_->setEnabled(list_.Reading());
    refresh_->setEnabled(!list_.Reading());
    continue_->setEnabled(list_.CanContinue());
}

void ProgramListWindow::SetProgress(ProgramList::Button b, ProgramList::Mark m) {
    Button(b)->setText(Q(list_.Progress(b, m)));
}

void ProgramListWindow::Recall() {
    using B = ProgramList::Button;
    using M = ProgramList::Mark;
    const int slot = list_.Selected();
    if (slot < 0 || !list_.Begin(B::Recall)) return;
    UpdateButtons();
    SetProgress(B::Recall, M::One);
    const std::string address = app_.Address();
    const LinkTimings timings = app_.Timings();
    app_.RunJob<std::optional<UploadedState>>(
        [address, slot, timings](CSerialPort& port, const std::function<void(int)>& progress) {
            return RecallSlot(port, address, slot, timings, progress);
        },
        this, [this](int mark) { SetProgress(B::Recall, mark == 1 ? M::Two : M::Three); },
        [this](std::optional<std::optional<UploadedState>> state) {
            list_.End(B::Recall);
            UpdateButtons();
            // The keyboard stays on the list: a Space after a recall must never press Delete.
            rows_->setFocus();
            if (state && *state) {
                list_.Recalled(**state);
                ShowCurrent();
                emit stateRead();
                SetProgress(B::Recall, M::Ok);
            } else {
                SetProgress(B::Recall, M::Fail);
            }
            modify_->setText(Q(ProgramList::kModify));
        });
}

void ProgramListWindow::Delete() {
    const int slot = list_.Selected();
    if (slot < 0) return;
    if (const std::string_view message = list_.CheckDelete(); !message.empty()) {
        ShowMessage(this, QString(), Q(message));
        return;
    }
    // Nothing brings a deleted program back: it is asked first, No being the default.
    if (!AskYesNo(this, "Delete program", QString::fromStdString(list_.DeleteQuestion()), "Delete", "Cancel"))
        return;
    delete_->setEnabled(false);
    if (!app_.Connected()) return;
    const std::string address = app_.Address();
    const LinkTimings timings = app_.Timings();
    app_.RunJob<SlotReply>(
        [address, slot, timings](CSerialPort& port, const std::function<void(int)>&) {
            return DeleteSlot(port, address, slot, timings);
        },
        this, {},
        [this, slot](std::optional<SlotReply> reply) {
            list_.Deleted(slot, reply.value_or(SlotReply{}));
            ShowRow(slot);
            UpdateButtons();
            delete_->setEnabled(false);
        });
}

void ProgramListWindow::SaveAs() {
    using B = ProgramList::Button;
    using M = ProgramList::Mark;
    const int slot = list_.Selected();
    if (slot < 0) return;
    if (const auto question = list_.ReplaceQuestion();
        question && !AskYesNo(this, "Save as", QString::fromStdString(*question), "Replace", "Cancel"))
        return;
    if (!list_.Begin(B::SaveAs)) return;
    UpdateButtons();
    SetProgress(B::SaveAs, M::One);
    if (!app_.Connected() || app_.Address().size() != 2) {
        list_.End(B::SaveAs);
        UpdateButtons();
        SetProgress(B::SaveAs, M::Fail);
        return;
    }
    SetProgress(B::SaveAs, M::Two);
    const std::string address = app_.Address();
    const LinkTimings timings = app_.Timings();
    app_.RunJob<bool>(
        [address, slot, timings](CSerialPort& port, const std::function<void(int)>&) {
            return StoreSlot(port, address, slot, timings);
        },
        this, {},
        [this, slot](std::optional<bool> stored) {
            list_.End(B::SaveAs);
            UpdateButtons();
            if (stored.value_or(false)) {
                list_.Stored(slot);
                ShowRow(slot);
                UpdateButtons(); // the slot holds a program now: Recall and Delete apply to it
                number_->setText(QString::fromStdString(list_.CurrentNumberText()));
                emit recordsChanged();
                SetProgress(B::SaveAs, M::Ok);
            } else {
                SetProgress(B::SaveAs, M::Fail);
            }
            modify_->setText(Q(ProgramList::kModify));
        });
}

void ProgramListWindow::Modify() {
    using B = ProgramList::Button;
    using M = ProgramList::Mark;
    if (!list_.Begin(B::Modify)) return;
    SetProgress(B::Modify, M::One);
    const std::string name = WireName(name_->text().toStdString());
    const int slot = std::clamp(list_.Current(), 0, kProgramSlots);
    if (!app_.Connected()) {
        list_.End(B::Modify);
        SetProgress(B::Modify, M::Fail);
        return;
    }
    const std::string address = app_.Address();
    const LinkTimings timings = app_.Timings();
    app_.RunJob<SlotReply>(
        [address, slot, name, timings](CSerialPort& port, const std::function<void(int)>&) {
            return RenameSlot(port, address, slot, name, timings);
        },
        this, {},
        [this, slot, name](std::optional<SlotReply> reply) {
            list_.End(B::Modify);
            const bool confirmed = list_.Renamed(slot, reply.value_or(SlotReply{}), name);
            ShowRow(slot);
            if (reply && reply->kind == SlotReply::Name) emit recordsChanged();
            SetProgress(B::Modify, confirmed ? M::Ok : M::Fail);
        });
}

} // namespace quellmarin::ui
