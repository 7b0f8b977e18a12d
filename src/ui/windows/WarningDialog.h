// The lost-device "Warning"; its OK button suppresses it until the next connection.
#pragma once

#include <QDialog>

namespace quellmarin::ui {

class WarningDialog : public QDialog {
    Q_OBJECT
  public:
    explicit WarningDialog(QWidget* parent = nullptr);

  signals:
    void dismissed();
};

} // namespace quellmarin::ui
