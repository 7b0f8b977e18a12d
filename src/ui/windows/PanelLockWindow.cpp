#include "windows/PanelLockWindow.h"

#include "edit/RecordDiff.h"

#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quellmarin::ui {

PanelLockWindow::PanelLockWindow(PanelLock& lock, std::function<void(std::string)> send, QWidget* parent)
    : QDialog(parent), panel_(lock), send_(std::move(send)) {
    setObjectName("panelLockWindow");
    setWindowTitle(QString::fromUtf8(PanelLock::kTitle.data()));
    setModal(true);
    auto* root = new QVBoxLayout(this);
    auto* group = new QGroupBox(QString::fromUtf8(PanelLock::kGroup.data()), this);
    auto* box = new QVBoxLayout(group);
    lock_ = new QRadioButton(QString::fromUtf8(PanelLock::kLock.data()), group);
    unlock_ = new QRadioButton(QString::fromUtf8(PanelLock::kUnlock.data()), group);
    lock_->setAccessibleName("Lock the processor's front panel");
    unlock_->setAccessibleName("Unlock the processor's front panel");
    (panel_.Locked() ? lock_ : unlock_)->setChecked(true);
    box->addWidget(lock_);
    box->addWidget(unlock_);
    root->addWidget(group);
    confirmation_ = new QLabel(this);
    confirmation_->setObjectName("lockConfirmation");
    confirmation_->setAccessibleName("Panel lock confirmation");
    confirmation_->setWordWrap(true);
    confirmation_->setStyleSheet("color: #ffb040;");
    confirmation_->hide();
    root->addWidget(confirmation_);
    setMinimumWidth(260);
    // Every click is sent, also on the button already chosen.
    for (QRadioButton* b : {lock_, unlock_})
        connect(b, &QRadioButton::clicked, this, [this, b] {
            const std::string frame = panel_.Set(b == lock_);
            if (send_) send_(frame);
        });
}

void PanelLockWindow::ShowConfirmation(const QStringList& missing) {
    const bool unconfirmed = missing.contains(QString::fromUtf8(kPanelLockSetting.data(), kPanelLockSetting.size()));
    confirmation_->setText(unconfirmed ? QString::fromUtf8(PanelLock::kUnconfirmed.data(),
                                                           static_cast<qsizetype>(PanelLock::kUnconfirmed.size()))
                                       : QString());
    confirmation_->setVisible(unconfirmed);
    // The window grows to hold the line rather than squeezing its controls.
    if (unconfirmed) resize(size().expandedTo(sizeHint()));
}

} // namespace quellmarin::ui
