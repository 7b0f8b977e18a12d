#include "windows/OutputDelayPopup.h"

#include "widgets/Controls.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace quellmarin::ui {

OutputDelayPopup::OutputDelayPopup(DelayEditor& editor, DeviceModel model, QWidget* parent)
    : DelayPopup(editor, 5, model, parent) {
    setObjectName("outputDelayPopup");
    setProperty("what", "delay window");
    auto* root = new QVBoxLayout(this);
    auto* group = new QGroupBox("Output delay:", this);
    auto* grid = new QGridLayout(group);
    feet_ = new QLineEdit(group);
    inches_ = new QLineEdit(group);
    feet_->setObjectName("delayFeet");
    inches_->setObjectName("delayInches");
    feet_->setProperty("what", "delay in feet");
    inches_->setProperty("what", "delay in inches");
    for (QLineEdit* f : {feet_, inches_}) {
        f->setReadOnly(true);
        f->setFocusPolicy(Qt::StrongFocus); // read-only, yet a keyboard reaches the readout
        f->setMinimumWidth(110);
    }
    grid->addWidget(new QLabel("Millisecond:", group), 0, 0);
    grid->addWidget(ms_, 0, 1);
    grid->addWidget(up_, 0, 2);
    grid->addWidget(down_, 0, 3);
    grid->addWidget(new QLabel("Meter:", group), 1, 0);
    grid->addWidget(metres_, 1, 1);
    grid->addWidget(new QLabel("Feet:", group), 2, 0);
    grid->addWidget(feet_, 2, 1);
    grid->addWidget(new QLabel("Inches:", group), 3, 0);
    grid->addWidget(inches_, 3, 1);
    root->addWidget(group);
    root->addWidget(new QLabel("Out delay ms:(0--2000 ms)", this));
    root->addWidget(new QLabel("Out delay meter:(0--680 Meter)", this));
    root->addStretch();
}

void OutputDelayPopup::ShowFields() {
    DelayPopup::ShowFields();
    feet_->setText(QString::fromStdString(editor_.Fields().feet));
    inches_->setText(QString::fromStdString(editor_.Fields().inches));
}

} // namespace quellmarin::ui
