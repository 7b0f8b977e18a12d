// The limiter window of one output: the hundred thresholds, the one selected, and the reference level.
#pragma once

#include "edit/LimiterEditor.h"
#include "windows/ModulePopup.h"

class QLabel;
class QListWidget;

namespace quellmarin::ui {

class LimiterPopup : public ModulePopup {
    Q_OBJECT
  public:
    LimiterPopup(LimiterEditor& editor, DeviceModel model, QWidget* parent);
    QListWidget* List() const { return list_; }
    QLabel* Selected() const { return selected_; }

  protected:
    QString TitleFor(int channel) const override;
    void Reload() override;

  private:
    LimiterEditor& editor_;
    QListWidget* list_;
    QLabel* selected_;
};

} // namespace quellmarin::ui
