#include "app/MessageBox.h"

#include <QMessageBox>

namespace quellmarin::ui {

namespace {
MessageHandler& Handler() {
    static MessageHandler handler;
    return handler;
}
} // namespace

void SetMessageHandler(MessageHandler handler) {
    Handler() = std::move(handler);
}

void ShowMessage(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon) {
    if (Handler()) {
        Handler()(parent, caption, text);
        return;
    }
    QMessageBox box(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::Information, caption,
                    text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace quellmarin::ui
