// What both delay windows share: the milliseconds field with its one-sample spin and the metres
// field, applied when a field is left, with the range message for a value out of range.
#pragma once

#include "edit/DelayEditor.h"
#include "windows/ModulePopup.h"

namespace quellmarin::ui {

class CMyNumEdit;
class RepeatButton;

class DelayPopup : public ModulePopup {
    Q_OBJECT
  public:
    DelayPopup(DelayEditor& editor, int moduleCode, DeviceModel model, QWidget* parent);
    CMyNumEdit* MsField() const { return ms_; }
    CMyNumEdit* MetresField() const { return metres_; }
    RepeatButton* SpinUp() const { return up_; }
    RepeatButton* SpinDown() const { return down_; }

  protected:
    QString TitleFor(int channel) const override;
    void Reload() override;
    // The fields from the editor; subclasses show what they add.
    virtual void ShowFields();

    DelayEditor& editor_;
    CMyNumEdit* ms_;
    CMyNumEdit* metres_;
    RepeatButton* up_;
    RepeatButton* down_;

  private:
    void Typed(bool metres);
    void Spun(bool up);
};

} // namespace quellmarin::ui
