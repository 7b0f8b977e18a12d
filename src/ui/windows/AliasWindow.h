// The "Alias Setting" window: a name field for every input and output; a field that is left stores
// its name and hands the "E" frame on to be sent.
#pragma once

#include "edit/AliasEditor.h"

#include <QDialog>
#include <array>
#include <functional>

namespace quellmarin::ui {

class CMyTextEdit;

class AliasWindow : public QDialog {
    Q_OBJECT
  public:
    // `send` takes each frame to send (nothing is sent while not connected).
    AliasWindow(AliasEditor& editor, DeviceModel model, std::function<void(std::string)> send,
                QWidget* parent);
    CMyTextEdit* Field(int index) const { return fields_.at(index); }

  private:
    AliasEditor& editor_;
    std::function<void(std::string)> send_;
    std::array<CMyTextEdit*, AliasEditor::kNames> fields_{};
};

} // namespace quellmarin::ui
