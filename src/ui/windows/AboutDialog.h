// The About dialog with the program's version line.
#pragma once

#include <QDialog>

namespace quellmarin::ui {

class AboutDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AboutDialog(const QString& versionLine, QWidget* parent = nullptr);
};

} // namespace quellmarin::ui
