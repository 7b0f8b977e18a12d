// The import of a filter file, before anything changes: the channel to put the filters on, a table of
// what the file asks and what the device will do, the largest difference of the summed response, and
// what cannot be done as asked. Import applies the plan shown.
#pragma once

#include "edit/FilterImport.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace quellmarin::ui {

class FilterImportWindow : public QDialog {
    Q_OBJECT
  public:
    FilterImportWindow(FilterFile file, ChannelRef channel, DeviceModel model, QWidget* parent);
    const ImportPlan& Plan() const { return plan_; }

    QComboBox* Channel() const { return channel_; }
    QTableWidget* Table() const { return table_; }
    QLabel* Difference() const { return difference_; }
    QLabel* Refusals() const { return refusals_; }
    QPushButton* ImportButton() const { return import_; }

  private:
    void Replan();

    FilterFile file_;
    DeviceModel model_;
    ImportPlan plan_;
    QComboBox* channel_;
    QTableWidget* table_;
    QLabel* difference_;
    QLabel* notes_;
    QLabel* refusals_;
    QPushButton* import_;
};

} // namespace quellmarin::ui
