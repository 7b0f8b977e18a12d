// The input delay window: the channel, milliseconds and metres, and the table of every output's own
// delay and the total the input sees through it, with the curves to the outputs it reaches.
#pragma once

#include "windows/DelayPopup.h"

class QLabel;
class QTableWidget;

namespace quellmarin::ui {

class DelayRoutesView;

class InputDelayPopup : public DelayPopup {
    Q_OBJECT
  public:
    InputDelayPopup(DelayEditor& editor, DeviceModel model, QWidget* parent);
    // The table from the record, after an output's delay or the routing changed.
    void RebuildOutputsTable();
    QTableWidget* Table() const { return table_; }
    DelayRoutesView* Routes() const { return routes_; }

  protected:
    void ShowFields() override;

  private:
    QLabel* channelLabel_;
    QTableWidget* table_;
    DelayRoutesView* routes_;
};

} // namespace quellmarin::ui
