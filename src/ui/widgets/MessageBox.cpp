#include "widgets/MessageBox.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace quellmarin::ui {

namespace {
MessageHandler& Handler() {
    static MessageHandler handler;
    return handler;
}
QuestionHandler& Questions() {
    static QuestionHandler handler;
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

void ShowMessageWindow(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon,
                       QPointer<QMessageBox>& box) {
    if (Handler()) {
        Handler()(parent, caption, text);
        return;
    }
    if (!box) {
        box = new QMessageBox(icon == MessageIcon::Warning ? QMessageBox::Warning : QMessageBox::Information,
                              caption, text, QMessageBox::Ok, parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
    }
    box->setWindowTitle(caption);
    box->setText(text);
    box->show();
    box->raise();
}

namespace {
SaveQuestionHandler& SaveQuestions() {
    static SaveQuestionHandler handler;
    return handler;
}
} // namespace

void SetSaveQuestionHandler(SaveQuestionHandler handler) {
    SaveQuestions() = std::move(handler);
}

SaveChoice AskSaveDiscardCancel(QWidget* parent, const QString& caption, const QString& text) {
    if (SaveQuestions()) return SaveQuestions()(parent, caption, text);
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Save:
        return SaveChoice::Save;
    case QMessageBox::Discard:
        return SaveChoice::Discard;
    default:
        return SaveChoice::Cancel;
    }
}

void SetQuestionHandler(QuestionHandler handler) {
    Questions() = std::move(handler);
}

bool AskYesNo(QWidget* parent, const QString& caption, const QString& text, const QString& yes,
              const QString& no) {
    if (Questions()) return Questions()(parent, caption, text);
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    if (!yes.isEmpty()) box.button(QMessageBox::Yes)->setText(yes);
    if (!no.isEmpty()) box.button(QMessageBox::No)->setText(no);
    return box.exec() == QMessageBox::Yes;
}

} // namespace quellmarin::ui
