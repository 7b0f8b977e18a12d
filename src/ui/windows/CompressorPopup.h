// The compressor window of one input: threshold, attack, release and ratio fields with spin arrows,
// and the curve they make.
#pragma once

#include "edit/CompressorEditor.h"
#include "windows/ModulePopup.h"

#include <map>

class QLabel;

namespace quellmarin::ui {

class CMyNumEdit;
class CompressorCurve;
class RepeatButton;

class CompressorPopup : public ModulePopup {
    Q_OBJECT
  public:
    CompressorPopup(CompressorEditor& editor, DeviceModel model, QWidget* parent);
    CMyNumEdit* Field(CompField f) const { return fields_.at(f); }
    RepeatButton* SpinButton(CompField f, bool up) const { return (up ? ups_ : downs_).at(f); }
    CompressorCurve* Curve() const { return curve_; }

  protected:
    QString TitleFor(int channel) const override;
    void Reload() override;

  private:
    void Typed(CompField f);
    void Spun(CompField f, bool up);

    CompressorEditor& editor_;
    QLabel* channelLabel_;
    std::map<CompField, CMyNumEdit*> fields_;
    std::map<CompField, RepeatButton*> ups_, downs_;
    CompressorCurve* curve_;
};

} // namespace quellmarin::ui
