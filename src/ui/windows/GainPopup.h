// The gain window of one input or output: the fader with its two arrows and the readout; on outputs
// also the two polarity buttons.
#pragma once

#include "edit/GainEditor.h"
#include "windows/ModulePopup.h"

class QLineEdit;

namespace quellmarin::ui {

class RepeatButton;
class SkinButton;
class SkinSlider;

class GainPopup : public ModulePopup {
    Q_OBJECT
  public:
    GainPopup(GainEditor& editor, DeviceModel model, QWidget* parent);

    SkinSlider* Fader() const { return fader_; }
    RepeatButton* UpButton() const { return up_; }
    RepeatButton* DownButton() const { return down_; }
    QLineEdit* Readout() const { return readout_; }
    SkinButton* NormalButton() const { return normal_; }
    SkinButton* InvertedButton() const { return inverted_; }

  protected:
    QString TitleFor(int channel) const override;
    void Reload() override;

  private:
    void Changed();

    GainEditor& editor_;
    SkinSlider* fader_;
    RepeatButton* up_;
    RepeatButton* down_;
    QLineEdit* readout_;
    SkinButton* normal_ = nullptr;
    SkinButton* inverted_ = nullptr;
};

} // namespace quellmarin::ui
