#include "windows/CrossoverPopup.h"

#include "widgets/MessageBox.h"
#include "widgets/Controls.h"
#include "dsp/Scales.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>

namespace quellmarin::ui {

CrossoverPopup::CrossoverPopup(CrossoverEditor& editor, DeviceModel model, QWidget* parent)
    : ModulePopup(6, Section::Output, parent, model), editor_(editor) {
    setObjectName("crossoverPopup");
    setProperty("what", "crossover window");
    auto* root = new QHBoxLayout(this);
    root->addWidget(BuildSide(true));
    root->addWidget(BuildSide(false));
}

QWidget* CrossoverPopup::BuildSide(bool highPass) {
    auto* group = new QGroupBox(highPass ? "High Pass:" : "Low Pass:", this);
    auto* grid = new QGridLayout(group);
    const QString side = highPass ? "high-pass" : "low-pass";
    auto* type = new QComboBox(group);
    type->setObjectName(highPass ? "hpType" : "lpType");
    type->setProperty("what", side + " slope type");
    for (std::string_view t : CrossoverEditor::kSlopeTexts)
        type->addItem(QString::fromUtf8(t.data(), int(t.size())));
    auto* field = new CMyNumEdit(group);
    field->setObjectName(highPass ? "hpFrequency" : "lpFrequency");
    field->setProperty("what", side + " frequency");
    field->setMinimumWidth(100);
    auto* left = new RepeatButton(QString::fromUtf8("\u25C0"), group);
    auto* right = new RepeatButton(QString::fromUtf8("\u25B6"), group);
    left->setProperty("what", side + " frequency down");
    right->setProperty("what", side + " frequency up");
    left->setFixedSize(28, 24);
    right->setFixedSize(28, 24);
    grid->addWidget(new QLabel("Filter Type:", group), 0, 0);
    grid->addWidget(type, 0, 1, 1, 3);
    grid->addWidget(new QLabel("Frequency:", group), 1, 0);
    grid->addWidget(field, 1, 1);
    grid->addWidget(left, 1, 2);
    grid->addWidget(right, 1, 3);
    grid->setRowStretch(2, 1);
    (highPass ? hpType_ : lpType_) = type;
    (highPass ? hpField_ : lpField_) = field;
    spins_[highPass][0] = left;
    spins_[highPass][1] = right;
    connect(type, &QComboBox::activated, this, [this, highPass](int t) {
        editor_.SetType(Channel(), highPass, t);
        Reload();
        emit edited();
    });
    const auto step = [this, highPass](bool up) {
        editor_.Step(Channel(), highPass, up);
        Reload();
        emit edited();
    };
    connect(right, &RepeatButton::clicked, this, [step] { step(true); });
    connect(right, &RepeatButton::repeat, this, [step] { step(true); });
    connect(left, &RepeatButton::clicked, this, [step] { step(false); });
    connect(left, &RepeatButton::repeat, this, [step] { step(false); });
    connect(field, &QLineEdit::editingFinished, this, [this, highPass] { Entered(highPass); });
    return group;
}

RepeatButton* CrossoverPopup::Spin(bool highPass, bool right) const {
    return spins_[highPass][right];
}

QString CrossoverPopup::TitleFor(int channel) const {
    return QString::fromStdString(editor_.Title(channel));
}

void CrossoverPopup::Entered(bool highPass) {
    CMyNumEdit* field = Field(highPass);
    if (!field->isModified()) return;
    const std::string_view message = editor_.TypeFrequency(Channel(), highPass, field->text().toStdString());
    Reload();
    emit edited();
    if (!message.empty())
        ShowMessage(this, QString::fromUtf8(kInputIllegal.data()),
                    QString::fromUtf8(message.data(), int(message.size())));
}

void CrossoverPopup::Reload() {
    const CrossoverSetting x = editor_.Current(Channel());
    hpType_->setCurrentIndex(std::min(x.hpfType, 11));
    lpType_->setCurrentIndex(std::min(x.lpfType, 11));
    for (bool hp : {true, false}) {
        Field(hp)->setText(QString::fromStdString(editor_.FrequencyText(Channel(), hp)));
        Field(hp)->setModified(false);
    }
}

} // namespace quellmarin::ui
