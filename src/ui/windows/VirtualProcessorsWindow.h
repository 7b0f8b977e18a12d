// Device > Virtual processors...: how many virtual processors answer on the port "virtual", to try a
// rig of several units on one line without any hardware, or each on a line of its own ("virtual-2",
// ...), as units on several adapters. The IDs they answer to are shown as the number changes.
#pragma once

#include <QDialog>
#include <vector>

class QCheckBox;
class QLabel;
class QSpinBox;

namespace quellmarin::ui {

class VirtualProcessorsWindow : public QDialog {
    Q_OBJECT
  public:
    // `ids`: the IDs of the processors on the line now, the first one first.
    VirtualProcessorsWindow(std::vector<int> ids, int most, bool ownLines, QWidget* parent);

    int Count() const;
    bool OwnLines() const;
    QSpinBox* CountField() const { return count_; }
    QCheckBox* OwnLinesBox() const { return ownLines_; }
    QString IdsText() const;

  private:
    void ShowIds();

    std::vector<int> ids_;
    QSpinBox* count_;
    QCheckBox* ownLines_;
    QLabel* idsLabel_;
};

} // namespace quellmarin::ui
