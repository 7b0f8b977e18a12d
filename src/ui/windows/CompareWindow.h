// The comparison of the program's settings with the device's: the fields that differ, in words, and
// the two ways to make them agree.
#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

namespace quellmarin::ui {

class CompareWindow : public QDialog {
    Q_OBJECT
  public:
    enum Choice { Nothing = 0, Send, Take };
    // `lines`: "field: device's value → program's value".
    CompareWindow(const QStringList& lines, QWidget* parent);
    Choice Chosen() const { return chosen_; }
    QListWidget* Lines() const { return lines_; }
    QPushButton* SendButton() const { return send_; }
    QPushButton* TakeButton() const { return take_; }

  private:
    QListWidget* lines_;
    QPushButton* send_;
    QPushButton* take_;
    Choice chosen_ = Nothing;
};

} // namespace quellmarin::ui
