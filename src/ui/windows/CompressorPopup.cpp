#include "windows/CompressorPopup.h"

#include "widgets/Controls.h"
#include "dsp/Scales.h"
#include "widgets/CompressorCurve.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>

namespace quellmarin::ui {

CompressorPopup::CompressorPopup(CompressorEditor& editor, DeviceModel model, QWidget* parent)
    : ModulePopup(kNoModuleCode, Section::Input, parent, model), editor_(editor) {
    setObjectName("compressorPopup");
    setProperty("what", "compressor window");
    auto* root = new QHBoxLayout(this);
    auto* grid = new QGridLayout;
    channelLabel_ = new QLabel(this);
    channelLabel_->setObjectName("compChannel");
    grid->addWidget(channelLabel_, 0, 0, 1, 4);
    const std::pair<CompField, const char*> rows[] = {{CompField::Threshold, "Threshold:"},
                                                      {CompField::Attack, "Attack:"},
                                                      {CompField::Release, "Release:"},
                                                      {CompField::Ratio, "Ratio:"}};
    int row = 1;
    for (const auto& [field, caption] : rows) {
        const QString what = QString(caption).chopped(1).toLower();
        auto* label = new QLabel(caption, this);
        auto* edit = new CMyNumEdit(this);
        edit->SetNegativeAllowed(field == CompField::Threshold);
        edit->setProperty("what", "compressor " + what);
        edit->setObjectName("comp" + QString(caption).chopped(1));
        edit->setMinimumWidth(96);
        label->setBuddy(edit);
        auto* up = new RepeatButton(QString::fromUtf8("\u25B2"), this);
        auto* down = new RepeatButton(QString::fromUtf8("\u25BC"), this);
        up->setProperty("what", "compressor " + what + " up");
        down->setProperty("what", "compressor " + what + " down");
        up->setFixedSize(28, 24);
        down->setFixedSize(28, 24);
        grid->addWidget(label, row, 0);
        grid->addWidget(edit, row, 1);
        grid->addWidget(up, row, 2);
        grid->addWidget(down, row, 3);
        fields_[field] = edit;
        ups_[field] = up;
        downs_[field] = down;
        // A value typed into the field counts when the field is left (or Enter hands the focus on).
        connect(edit, &QLineEdit::editingFinished, this, [this, field] { Typed(field); });
        connect(up, &RepeatButton::clicked, this, [this, field] { Spun(field, true); });
        connect(up, &RepeatButton::repeat, this, [this, field] { Spun(field, true); });
        connect(down, &RepeatButton::clicked, this, [this, field] { Spun(field, false); });
        connect(down, &RepeatButton::repeat, this, [this, field] { Spun(field, false); });
        ++row;
    }
    grid->setRowStretch(row, 1);
    root->addLayout(grid);
    curve_ = new CompressorCurve(this);
    root->addWidget(curve_, 1);
    setMinimumSize(460, 240);
}

QString CompressorPopup::TitleFor(int channel) const {
    return QString::fromStdString(editor_.Title(channel));
}

void CompressorPopup::Typed(CompField f) {
    CMyNumEdit* edit = fields_.at(f);
    // Leaving a field without typing in it changes nothing.
    if (!edit->isModified()) return;
    std::string shown;
    if (editor_.Type(Channel(), f, edit->text().toStdString(), &shown)) {
        edit->setText(QString::fromStdString(shown));
        emit edited();
    }
    edit->setModified(false);
    curve_->SetCurve(CompThresholdDb(editor_.Code(Channel(), CompField::Threshold)),
                     editor_.Code(Channel(), CompField::Ratio));
}

void CompressorPopup::Spun(CompField f, bool up) {
    editor_.Spin(Channel(), f, up);
    Reload();
    emit edited();
}

void CompressorPopup::Reload() {
    channelLabel_->setText(QString::fromStdString(CompressorEditor::Label(Channel())));
    for (auto& [field, edit] : fields_) {
        if (edit->hasFocus() && edit->isModified()) continue; // keep what is being typed
        edit->setText(QString::fromStdString(editor_.Text(Channel(), field)));
        edit->setModified(false);
    }
    curve_->SetCurve(CompThresholdDb(editor_.Code(Channel(), CompField::Threshold)),
                     editor_.Code(Channel(), CompField::Ratio));
}

} // namespace quellmarin::ui
