#include "windows/SaveProgramWindow.h"

#include "widgets/QText.h"
#include "widgets/JobRunner.h"
#include "widgets/Controls.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quellmarin::ui {

namespace {} // namespace

SaveProgramWindow::SaveProgramWindow(JobRunner& app, QWidget* parent)
    : QDialog(parent), app_(app), editor_(app.Context()) {
    setObjectName("saveProgramWindow");
    setWindowTitle(Q(SaveProgram::kTitle));
    setModal(true);
    auto* root = new QVBoxLayout(this);
    auto* group = new QGroupBox(Q(SaveProgram::kGroup), this);
    auto* row = new QHBoxLayout(group);
    name_ = new CMyTextEdit(5, group);
    name_->setObjectName("saveProgramName");
    name_->setAccessibleName("Current program name");
    name_->setMaxLength(kNameLength);
    name_->setMinimumWidth(200);
    name_->setText(QString::fromLatin1(editor_.Name().c_str()));
    modify_ = new QPushButton(Q(SaveProgram::kModify), group);
    modify_->setObjectName("saveProgramModify");
    modify_->setAccessibleName("Rename the current program");
    modify_->setMinimumWidth(130);
    row->addWidget(new QLabel(Q(SaveProgram::kNameLabel), group));
    row->addWidget(name_, 1);
    row->addWidget(modify_);
    root->addWidget(group);
    save_ = new QPushButton(Q(SaveProgram::kSave), this);
    save_->setObjectName("saveProgramToDevice");
    save_->setAccessibleName("Save the current settings in the device as the current program");
    save_->setMinimumWidth(320);
    save_->setEnabled(app_.Connected());
    root->addWidget(save_);
    connect(name_, &QLineEdit::textEdited, this, [this] { modify_->setText(Q(SaveProgram::kModify)); });
    connect(save_, &QPushButton::clicked, this, &SaveProgramWindow::Save);
    connect(modify_, &QPushButton::clicked, this, &SaveProgramWindow::Modify);
}

void SaveProgramWindow::Save() {
    using M = SaveProgram::Mark;
    if (saving_ || !app_.Connected()) return;
    saving_ = true;
    save_->setText(Q(SaveProgram::SaveText(M::One)));
    const std::string address = app_.Address();
    const LinkTimings timings = app_.Timings();
    const int slot = editor_.Slot();
    app_.RunJob<bool>(
        [address, slot, timings](CSerialPort& port, const std::function<void(int)>&) {
            return StoreSlot(port, address, slot, timings);
        },
        this, {},
        [this](std::optional<bool> echoed) {
            saving_ = false;
            save_->setText(Q(SaveProgram::SaveText(echoed.value_or(false) ? M::Ok : M::Fail)));
        });
}

void SaveProgramWindow::Modify() {
    using M = SaveProgram::Mark;
    if (renaming_) return;
    const std::string name = WireName(name_->text().toStdString());
    if (!app_.Connected()) {
        // Without a device only the program's own record is renamed.
        if (editor_.RenameOffline(name)) emit recordsChanged();
        modify_->setText("Modify [OK]");
        return;
    }
    renaming_ = true;
    modify_->setText(Q(SaveProgram::ModifyText(M::One)));
    const std::string address = app_.Address();
    const LinkTimings timings = app_.Timings();
    const int slot = editor_.Slot();
    app_.RunJob<bool>(
        [address, slot, name, timings](CSerialPort& port, const std::function<void(int)>&) {
            return RenameCurrent(port, address, slot, name, timings);
        },
        this, {},
        [this, name](std::optional<bool> confirmed) {
            renaming_ = false;
            const bool ok = confirmed.value_or(false);
            if (ok) editor_.Renamed(name);
            emit recordsChanged();
            modify_->setText(Q(SaveProgram::ModifyText(ok ? M::Ok : M::Fail)));
        });
}

} // namespace quellmarin::ui
