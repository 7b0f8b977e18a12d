// The "Program List" window: the names of the device's 40 programs read one by one, and Recall,
// Delete, Save as and Modify on the selected or current program. Every exchange runs as a job of the
// link worker; the window never waits on the wire.
#pragma once

#include "edit/ProgramList.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace quellmarin::ui {

class JobRunner;

class ProgramListWindow : public QDialog {
    Q_OBJECT
  public:
    ProgramListWindow(JobRunner& app, QWidget* parent);

    ProgramList& List() { return list_; }
    QTreeWidget* Rows() const { return rows_; }
    QLineEdit* NumberField() const { return number_; }
    QLineEdit* NameField() const { return name_; }
    QPushButton* Button(ProgramList::Button b) const;
    QPushButton* RefreshButton() const { return refresh_; }
    QPushButton* StopButton() const { return stop_; }
    QPushButton* ContinueButton() const { return continue_; }
    // True while a name is being asked.
    bool Querying() const { return querying_; }

  signals:
    // After an operation changed the records (save as, rename).
    void recordsChanged();
    // After a recall read the device's whole state.
    void stateRead();

  private:
    void ReadNext();
    void ShowRow(int slot);
    void RowClicked();
    void UpdateButtons();
    void ShowCurrent();
    void SetProgress(ProgramList::Button b, ProgramList::Mark m);
    void Recall();
    void Delete();
    void SaveAs();
    void Modify();

    JobRunner& app_;
    ProgramList list_;
    QTreeWidget* rows_;
    QLineEdit* number_;
    QLineEdit* name_;
    QPushButton* saveAs_;
    QPushButton* delete_;
    QPushButton* recall_;
    QPushButton* modify_;
    QPushButton* refresh_;
    QPushButton* stop_;
    QPushButton* continue_;
    bool querying_ = false;
};

} // namespace quellmarin::ui
