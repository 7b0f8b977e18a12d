// The crossover window of one output: the high-pass and the low-pass, each a slope type and a corner
// frequency with a horizontal spin (right raises).
#pragma once

#include "edit/CrossoverEditor.h"
#include "windows/ModulePopup.h"

class QComboBox;

namespace quellmarin::ui {

class CMyNumEdit;
class RepeatButton;

class CrossoverPopup : public ModulePopup {
    Q_OBJECT
  public:
    CrossoverPopup(CrossoverEditor& editor, DeviceModel model, QWidget* parent);
    QComboBox* TypeList(bool highPass) const { return highPass ? hpType_ : lpType_; }
    CMyNumEdit* Field(bool highPass) const { return highPass ? hpField_ : lpField_; }
    RepeatButton* Spin(bool highPass, bool right) const;

  protected:
    QString TitleFor(int channel) const override;
    void Reload() override;

  private:
    QWidget* BuildSide(bool highPass);
    void Entered(bool highPass);

    CrossoverEditor& editor_;
    QComboBox* hpType_ = nullptr;
    QComboBox* lpType_ = nullptr;
    CMyNumEdit* hpField_ = nullptr;
    CMyNumEdit* lpField_ = nullptr;
    RepeatButton* spins_[2][2] = {}; // [high-pass][right]
};

} // namespace quellmarin::ui
