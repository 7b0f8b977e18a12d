#include "windows/GainPopup.h"

#include "widgets/QText.h"
#include "widgets/MessageBox.h"

#include "widgets/Controls.h"
#include "dsp/Scales.h"
#include "widgets/FaderScale.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace quellmarin::ui {

GainPopup::GainPopup(GainEditor& editor, DeviceModel model, QWidget* parent)
    : ModulePopup(IsOutput(editor.GetSection()) ? 8 : 1, editor.GetSection(), parent, model),
      editor_(editor) {
    const bool output = IsOutput(editor.GetSection());
    setObjectName(output ? "outputGainPopup" : "inputGainPopup");
    setProperty("what", "gain window");
    auto* root = new QHBoxLayout(this);
    auto* column = new QVBoxLayout;
    up_ = new RepeatButton(QString::fromUtf8("\u25B2"), this);
    up_->setObjectName("gainUp");
    up_->setProperty("what", "gain up one decibel");
    up_->setToolTip("One decibel up; hold to repeat");
    fader_ = new SkinSlider(Qt::Vertical, this);
    fader_->setObjectName("gainFader");
    fader_->setProperty("what", "gain");
    fader_->SetRange(kFaderMin, kFaderMax);
    fader_->SetPageSize(6);
    fader_->setMinimumHeight(180);
    down_ = new RepeatButton(QString::fromUtf8("\u25BC"), this);
    down_->setObjectName("gainDown");
    down_->setProperty("what", "gain down one decibel");
    down_->setToolTip("One decibel down; hold to repeat");
    readout_ = new QLineEdit(this);
    readout_->setObjectName("gainReadout");
    readout_->setProperty("what", "gain in decibels");
    readout_->setToolTip("Type a gain in whole decibels (-90 to +12) and press Enter");
    readout_->setAlignment(Qt::AlignCenter);
    readout_->setFixedWidth(72);
    for (QWidget* w : {static_cast<QWidget*>(up_), static_cast<QWidget*>(down_)}) w->setFixedSize(40, 26);
    column->addWidget(up_, 0, Qt::AlignHCenter);
    auto* faderRow = new QHBoxLayout;
    faderRow->addWidget(new FaderScale(fader_, this));
    faderRow->addWidget(fader_);
    faderRow->addSpacing(34); // keeps the fader in the middle under its arrows
    column->addLayout(faderRow, 1);
    column->addWidget(down_, 0, Qt::AlignHCenter);
    column->addWidget(readout_, 0, Qt::AlignHCenter);
    root->addLayout(column);

    connect(readout_, &QLineEdit::editingFinished, this, [this] {
        if (!readout_->isModified()) return;
        readout_->setModified(false);
        const auto db = ParseTypedNumber(readout_->text().trimmed().toStdString(), kDecibelUnits);
        if (!db || !editor_.SetDb(Channel(), *db)) {
            readout_->setText(QString::fromStdString(GainEditor::Readout(fader_->Position())));
            ShowMessage(this, "Input illegal", Q(GainEditor::kRange));
            return;
        }
        Changed();
    });
    connect(fader_, &SkinSlider::moving, this, [this](int p) {
        editor_.Apply(Channel(), p);
        Changed();
    });
    connect(fader_, &SkinSlider::changed, this, [this](int p) {
        editor_.Apply(Channel(), p);
        Changed();
    });
    connect(up_, &RepeatButton::clicked, this, [this] {
        editor_.StepUp(Channel());
        Changed();
    });
    connect(up_, &RepeatButton::repeat, this, [this] {
        editor_.RepeatUp(Channel());
        Changed();
    });
    connect(down_, &RepeatButton::clicked, this, [this] {
        editor_.StepDown(Channel());
        Changed();
    });
    connect(down_, &RepeatButton::repeat, this, [this] {
        editor_.RepeatDown(Channel());
        Changed();
    });

    if (output) {
        auto* group = new QGroupBox("Polarity", this);
        auto* box = new QVBoxLayout(group);
        normal_ = new SkinButton("Normal", SkinButtonState::Style::Radio, group);
        inverted_ = new SkinButton("Inverted", SkinButtonState::Style::Radio, group);
        normal_->setObjectName("polarityNormal");
        inverted_->setObjectName("polarityInverted");
        normal_->setProperty("what", "polarity normal");
        inverted_->setProperty("what", "polarity inverted");
        normal_->setMinimumWidth(96);
        inverted_->setMinimumWidth(96);
        box->addWidget(normal_);
        box->addWidget(inverted_);
        root->addWidget(group, 0, Qt::AlignTop);
        connect(normal_, &SkinButton::skinClicked, this, [this] {
            editor_.SetInverted(Channel(), false);
            emit edited();
        });
        connect(inverted_, &SkinButton::skinClicked, this, [this] {
            editor_.SetInverted(Channel(), true);
            emit edited();
        });
    }
    setMinimumSize(output ? 300 : 180, 300);
}

QString GainPopup::TitleFor(int channel) const {
    return QString::fromStdString(editor_.Title(channel));
}

void GainPopup::Changed() {
    fader_->SetPosition(editor_.Position(Channel()));
    readout_->setText(QString::fromStdString(GainEditor::Readout(fader_->Position())));
    emit edited();
}

void GainPopup::Reload() {
    const int p = editor_.Position(Channel());
    fader_->SetPosition(p);
    readout_->setText(QString::fromStdString(GainEditor::Readout(p)));
    if (normal_) {
        const bool inverted = editor_.Inverted(Channel());
        normal_->SetCheckedFlag(!inverted);
        inverted_->SetCheckedFlag(inverted);
    }
}

} // namespace quellmarin::ui
