// The "Save  " window: store the current settings in the device under the current program number, and
// rename the current program (in the device, or in the program alone while not connected).
#pragma once

#include "edit/SaveProgram.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace quellmarin::ui {

class JobRunner;

class SaveProgramWindow : public QDialog {
    Q_OBJECT
  public:
    SaveProgramWindow(JobRunner& app, QWidget* parent);
    QLineEdit* NameField() const { return name_; }
    QPushButton* ModifyButton() const { return modify_; }
    QPushButton* SaveButton() const { return save_; }
    bool Busy() const { return renaming_ || saving_; }

  signals:
    void recordsChanged();

  private:
    void Save();
    void Modify();

    JobRunner& app_;
    SaveProgram editor_;
    QLineEdit* name_;
    QPushButton* modify_;
    QPushButton* save_;
    bool renaming_ = false;
    bool saving_ = false;
};

} // namespace quellmarin::ui
