#include "windows/ModulePopup.h"

#include <QKeyEvent>

namespace quellmarin::ui {

ModulePopup::ModulePopup(int moduleCode, Section section, QWidget* parent, DeviceModel model)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), moduleCode_(moduleCode),
      section_(section), model_(model) {
    setModal(false);
    hide();
}

ModulePopup::~ModulePopup() {
    for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
}

void ModulePopup::SetChannel(int channel) {
    channel_ = channel;
    NameControls();
    Refresh();
}

void ModulePopup::Refresh() {
    setWindowTitle(decorate_ ? decorate_(TitleFor(channel_)) : TitleFor(channel_));
    Reload();
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
    if (e->type() == QEvent::ActivationChange && isActiveWindow() && moduleCode_ != kNoModuleCode)
        emit activated(moduleCode_);
    QDialog::changeEvent(e);
}

void ModulePopup::mousePressEvent(QMouseEvent* e) {
    if (moduleCode_ != kNoModuleCode) emit activated(moduleCode_);
    QDialog::mousePressEvent(e);
}

void ModulePopup::NameControls() {
    const QString channelName = QString::fromStdString(ChannelName(section_, channel_, model_));
    // A window of one channel is named after it ("Input 3 equaliser"); one of all channels (the
    // routing) keeps its own name.
    if (const QString what = property("what").toString(); !what.isEmpty()) setAccessibleName(channelName + " " + what);
    for (QWidget* w : findChildren<QWidget*>()) {
        const QString what = w->property("what").toString();
        if (!what.isEmpty()) w->setAccessibleName(channelName + " " + what);
    }
}

} // namespace quellmarin::ui
