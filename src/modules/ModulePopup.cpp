#include "modules/ModulePopup.h"

#include <QKeyEvent>

namespace quellmarin::ui {

ModulePopup::ModulePopup(int moduleCode, Section section, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), moduleCode_(moduleCode),
      section_(section) {
    setModal(false);
    hide();
}

void ModulePopup::SetChannel(int channel) {
    channel_ = channel;
    setWindowTitle(TitleFor(channel));
    Refresh();
}

void ModulePopup::Open(QWidget* mainWindow) {
    if (isHidden() && mainWindow) {
        adjustSize();
        const QRect main = mainWindow->frameGeometry();
        const QRect mine = frameGeometry();
        move(main.left() + (main.width() - mine.width()) / 2, main.top());
    }
    show();
    raise();
    activateWindow();
    setFocus(Qt::OtherFocusReason);
}

void ModulePopup::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    // Enter belongs to the fields of the editor; it never closes the popup.
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) return;
    QDialog::keyPressEvent(e);
}

void ModulePopup::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) emit activated(moduleCode_);
    QDialog::changeEvent(e);
}

void ModulePopup::mousePressEvent(QMouseEvent* e) {
    emit activated(moduleCode_);
    QDialog::mousePressEvent(e);
}

} // namespace quellmarin::ui
