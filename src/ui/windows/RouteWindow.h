// The routing window: a crosspoint button for every input and output (columns inputs, rows outputs)
// and Reset. Made once, shown from the strip's Route column.
#pragma once

#include "edit/RouteEditor.h"
#include "windows/ModulePopup.h"

#include <map>

class QPushButton;

namespace quellmarin::ui {

class SkinButton;

class RouteWindow : public ModulePopup {
    Q_OBJECT
  public:
    RouteWindow(RouteEditor& editor, DeviceModel model, QWidget* parent);
    SkinButton* Crosspoint(int output, int slot) const { return buttons_.at({output, slot}); }
    QPushButton* ResetButton() const { return reset_; }

  protected:
    QString TitleFor(int) const override { return "Route"; }
    void Reload() override;

  private:
    RouteEditor& editor_;
    std::map<std::pair<int, int>, SkinButton*> buttons_;
    QPushButton* reset_;
};

} // namespace quellmarin::ui
