#include "windows/EqPopup.h"

#include "widgets/MessageBox.h"
#include "widgets/Controls.h"
#include "dsp/Scales.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace quellmarin::ui {

namespace {
// Looks of the two-state buttons: 0 is the selected (or on) look, 1 the normal one.
constexpr int kSelectedLook = 0, kNormalLook = 1;
} // namespace

EqPopup::EqPopup(EqEditor& editor, DeviceModel model, QWidget* parent)
    : ModulePopup(IsOutput(editor.GetSection()) ? 7 : 0, editor.GetSection(), parent, model),
      editor_(editor) {
    setObjectName(IsOutput(editor.GetSection()) ? "outputEqPopup" : "inputEqPopup");
    setProperty("what", "equaliser window");
    auto* root = new QVBoxLayout(this);

    auto* bands = new QHBoxLayout;
    switch_ = new SkinButton("PEQ", SkinButtonState::Style::Push, this);
    switch_->setObjectName("eqSwitch");
    switch_->setProperty("what", "equaliser on or off");
    switch_->setToolTip("The channel's equaliser on or off");
    switch_->setMinimumWidth(64);
    bands->addWidget(switch_);
    bands->addSpacing(12);
    for (int j = 0; j < editor.BandCount(); ++j) {
        auto* b = new SkinButton(QString("Band %1").arg(j + 1), SkinButtonState::Style::Push, this);
        b->setObjectName(QString("bandButton%1").arg(j));
        b->setProperty("what", QString("equaliser band %1").arg(j + 1));
        b->SetLook(kNormalLook);
        b->setMinimumWidth(62);
        bands->addWidget(b);
        bandButtons_.push_back(b);
        connect(b, &SkinButton::skinClicked, this, [this, j] { BandButtonClicked(j); });
    }
    bands->addStretch();
    root->addLayout(bands);

    auto* grid = new QGridLayout;
    type_ = new QComboBox(this);
    type_->setObjectName("bandType");
    type_->setProperty("what", "band type");
    for (std::string_view t : EqEditor::kTypeTexts)
        type_->addItem(QString::fromUtf8(t.data(), int(t.size())));
    grid->addWidget(new QLabel("Type:", this), 0, 0);
    grid->addWidget(type_, 0, 1, 1, 3);
    const char* captions[] = {"Frequency:", "Q:", "Level:"};
    const char* whats[] = {"band frequency", "band Q", "band level"};
    for (int f = 0; f < 3; ++f) {
        auto* edit = new CMyNumEdit(this);
        edit->SetNegativeAllowed(f == int(BandField::Level));
        edit->setObjectName(QString("bandField%1").arg(f));
        edit->setProperty("what", whats[f]);
        edit->setMinimumWidth(100);
        auto* up = new RepeatButton(QString::fromUtf8("\u25B2"), this);
        auto* down = new RepeatButton(QString::fromUtf8("\u25BC"), this);
        up->setProperty("what", QString(whats[f]) + " up");
        down->setProperty("what", QString(whats[f]) + " down");
        up->setFixedSize(28, 24);
        down->setFixedSize(28, 24);
        grid->addWidget(new QLabel(captions[f], this), 1 + f, 0);
        grid->addWidget(edit, 1 + f, 1);
        grid->addWidget(up, 1 + f, 2);
        grid->addWidget(down, 1 + f, 3);
        fields_.push_back(edit);
        ups_.push_back(up);
        downs_.push_back(down);
        const auto spin = [this, f](bool raise) {
            if (!selected_) return;
            editor_.Step(Channel(), *selected_, BandField(f), raise);
            ShowBand();
            emit edited();
        };
        connect(up, &RepeatButton::clicked, this, [spin] { spin(true); });
        connect(up, &RepeatButton::repeat, this, [spin] { spin(true); });
        connect(down, &RepeatButton::clicked, this, [spin] { spin(false); });
        connect(down, &RepeatButton::repeat, this, [spin] { spin(false); });
        connect(edit, &QLineEdit::editingFinished, this, &EqPopup::Entered);
    }
    grid->setColumnStretch(4, 1);
    root->addLayout(grid);
    root->addStretch();

    connect(type_, &QComboBox::activated, this, [this](int type) {
        if (!selected_) return;
        editor_.SetType(Channel(), *selected_, type);
        ShowBand();
        emit edited();
    });
    connect(switch_, &SkinButton::skinClicked, this, [this] {
        // The look is the one clicked on: normal means off, so the click turns it on.
        const bool on = switch_->Look() == kNormalLook;
        editor_.SetEnabled(Channel(), on);
        switch_->SetCheckedFlag(on);
        emit edited();
    });
}

QString EqPopup::TitleFor(int channel) const {
    return QString::fromStdString(editor_.Title(channel));
}

void EqPopup::BandButtonClicked(int band) {
    const bool select = bandButtons_[band]->Look() == kNormalLook;
    clicking_ = band;
    for (int j = 0; j < int(bandButtons_.size()); ++j)
        if (j != band) bandButtons_[j]->SetLook(kNormalLook);
    bandButtons_[band]->SetCheckedFlag(select);
    emit bandClicked(band, select);
    clicking_ = -1;
    // The clicked button flips its own look when this handler returns.
}

void EqPopup::SetSelectedBand(std::optional<int> band) {
    selected_ = band;
    for (int j = 0; j < int(bandButtons_.size()); ++j) {
        if (j == clicking_) continue;
        bandButtons_[j]->SetLook(band && *band == j ? kSelectedLook : kNormalLook);
        bandButtons_[j]->SetCheckedFlag(band && *band == j);
    }
    ShowBand();
}

void EqPopup::ShowBand() {
    // The fields show the selected band, or band 1 while none is selected.
    const int band = selected_.value_or(0);
    const PeqBand b = editor_.Band(Channel(), band);
    fields_[0]->setText(QString::fromStdString(editor_.FrequencyText(Channel(), band)));
    fields_[1]->setText(QString::fromStdString(editor_.QText(Channel(), band)));
    fields_[2]->setText(QString::fromStdString(editor_.LevelText(Channel(), band)));
    for (CMyNumEdit* f : fields_) f->setModified(false);
    type_->setCurrentIndex(std::min<int>(b.Type, 5));
    type_->setEnabled(selected_.has_value());
    const EqEditor::Fields use = EqEditor::FieldsOf(selected_ ? b.Type : 0);
    const bool on[3] = {use.frequency, use.q, use.level};
    for (int f = 0; f < 3; ++f) {
        fields_[f]->setEnabled(on[f]);
        ups_[f]->setEnabled(on[f]);
        downs_[f]->setEnabled(on[f]);
    }
}

void EqPopup::Entered() {
    // Enter (or leaving a field that was typed in) reads all three fields.
    if (!selected_ ||
        std::none_of(fields_.begin(), fields_.end(), [](CMyNumEdit* f) { return f->isModified(); }))
        return;
    const auto messages =
        editor_.SetValues(Channel(), *selected_, fields_[0]->text().toStdString(),
                          fields_[1]->text().toStdString(), fields_[2]->text().toStdString());
    ShowBand();
    emit edited();
    for (std::string_view m : messages)
        ShowMessage(this, QString::fromUtf8(kInputIllegal.data()),
                    QString::fromUtf8(m.data(), int(m.size())));
}

void EqPopup::Reload() {
    switch_->SetLook(editor_.Enabled(Channel()) ? kSelectedLook : kNormalLook);
    switch_->SetCheckedFlag(editor_.Enabled(Channel()));
    SetSelectedBand(selected_);
}

} // namespace quellmarin::ui
