// The "Pannel Lock Setting" window: lock or unlock the processor's own front panel.
#pragma once

#include "edit/PanelLock.h"

#include <QDialog>
#include <functional>

class QLabel;
class QRadioButton;

namespace quellmarin::ui {

class PanelLockWindow : public QDialog {
    Q_OBJECT
  public:
    PanelLockWindow(PanelLock& lock, std::function<void(std::string)> send, QWidget* parent);
    QRadioButton* LockButton() const { return lock_; }
    QRadioButton* UnlockButton() const { return unlock_; }
    QLabel* Confirmation() const { return confirmation_; }
    // What a read of the processor did not confirm: the window says so while the lock is among them.
    void ShowConfirmation(const QStringList& missing);

  private:
    PanelLock& panel_;
    std::function<void(std::string)> send_;
    QRadioButton* lock_;
    QRadioButton* unlock_;
    QLabel* confirmation_;
};

} // namespace quellmarin::ui
