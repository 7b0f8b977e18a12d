#include "windows/DelayPopup.h"

#include "widgets/MessageBox.h"
#include "widgets/Controls.h"
#include "dsp/Scales.h"

namespace quellmarin::ui {

DelayPopup::DelayPopup(DelayEditor& editor, int moduleCode, DeviceModel model, QWidget* parent)
    : ModulePopup(moduleCode, editor.GetSection(), parent, model), editor_(editor) {
    ms_ = new CMyNumEdit(this);
    ms_->setObjectName("delayMs");
    ms_->setProperty("what", "delay in milliseconds");
    ms_->setToolTip("Delay in milliseconds, 0 to 2000; applied when the field is left");
    metres_ = new CMyNumEdit(this);
    metres_->setObjectName("delayMetres");
    metres_->setProperty("what", "delay in metres");
    metres_->setToolTip("Delay as a distance at 340 m/s, 0 to 680 m; applied when the field is left");
    up_ = new RepeatButton(QString::fromUtf8("\u25B2"), this);
    down_ = new RepeatButton(QString::fromUtf8("\u25BC"), this);
    up_->setProperty("what", "delay one sample longer");
    down_->setProperty("what", "delay one sample shorter");
    up_->setFixedSize(28, 24);
    down_->setFixedSize(28, 24);
    for (CMyNumEdit* f : {ms_, metres_}) f->setMinimumWidth(110);
    connect(ms_, &QLineEdit::editingFinished, this, [this] { Typed(false); });
    connect(metres_, &QLineEdit::editingFinished, this, [this] { Typed(true); });
    connect(up_, &RepeatButton::clicked, this, [this] { Spun(true); });
    connect(up_, &RepeatButton::repeat, this, [this] { Spun(true); });
    connect(down_, &RepeatButton::clicked, this, [this] { Spun(false); });
    connect(down_, &RepeatButton::repeat, this, [this] { Spun(false); });
}

QString DelayPopup::TitleFor(int channel) const {
    return QString::fromStdString(editor_.Title(channel));
}

void DelayPopup::Reload() {
    editor_.Load(Channel());
    ShowFields();
}

void DelayPopup::ShowFields() {
    ms_->setText(QString::fromStdString(editor_.Fields().ms));
    metres_->setText(QString::fromStdString(editor_.Fields().metres));
}

void DelayPopup::Typed(bool metres) {
    CMyNumEdit* field = metres ? metres_ : ms_;
    const std::string text = field->text().toStdString();
    const DelayEditor::Outcome out = metres ? editor_.TypeMetres(text) : editor_.TypeMilliseconds(text);
    // The fields show the delay in force before any message, so that the message box taking the focus
    // finds nothing left to apply.
    ShowFields();
    if (!out.message.empty())
        ShowMessage(this, QString::fromUtf8(kInputIllegal.data()), QString::fromUtf8(out.message.data()));
    // A metres value that was taken or refused brings the focus back to its field; leaving a field
    // whose text did not change moves nothing.
    if (metres && (out.applied || !out.message.empty())) metres_->setFocus();
    if (out.applied) emit edited();
}

void DelayPopup::Spun(bool up) {
    editor_.Spin(up);
    ShowFields();
    emit edited();
}

} // namespace quellmarin::ui
