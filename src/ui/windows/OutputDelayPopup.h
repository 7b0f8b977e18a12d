// The output delay window: milliseconds, metres, feet and inches in the group "Output delay:".
#pragma once

#include "windows/DelayPopup.h"

class QLineEdit;

namespace quellmarin::ui {

class OutputDelayPopup : public DelayPopup {
    Q_OBJECT
  public:
    OutputDelayPopup(DelayEditor& editor, DeviceModel model, QWidget* parent);
    QLineEdit* FeetField() const { return feet_; }
    QLineEdit* InchesField() const { return inches_; }

  protected:
    void ShowFields() override;

  private:
    QLineEdit* feet_;
    QLineEdit* inches_;
};

} // namespace quellmarin::ui
