// The one way the windows show a message box, so that tests can answer it instead of a person.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <functional>

class QWidget;

namespace quellmarin::ui {

enum class MessageIcon { Information, Warning, Question };

using MessageHandler = std::function<void(QWidget* parent, const QString& caption, const QString& text)>;
// Replaces the real message box (an empty handler restores it).
void SetMessageHandler(MessageHandler handler);
void ShowMessage(QWidget* parent, const QString& caption, const QString& text,
                 MessageIcon icon = MessageIcon::Information);

// The same without waiting for it to be closed: the window stays up beside the work (a warning that
// arrives by itself). Shown again, `box` gets the new text instead of a second window; it is null
// when a handler took the message.
void ShowMessageWindow(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon,
                       QPointer<QMessageBox>& box);

// Changes that would be lost: save them, discard them, or cancel what would lose them.
enum class SaveChoice { Save, Discard, Cancel };
using SaveQuestionHandler = std::function<SaveChoice(QWidget* parent, const QString& caption, const QString& text)>;
// Replaces the real question box (an empty handler restores it).
void SetSaveQuestionHandler(SaveQuestionHandler handler);
// Save is the default button, Escape cancels.
SaveChoice AskSaveDiscardCancel(QWidget* parent, const QString& caption, const QString& text);

// A question with Yes and No, No being the default; true for Yes.
using QuestionHandler = std::function<bool(QWidget* parent, const QString& caption, const QString& text)>;
// Replaces the real question box (an empty handler restores it).
void SetQuestionHandler(QuestionHandler handler);
// The buttons may carry other words than Yes and No.
bool AskYesNo(QWidget* parent, const QString& caption, const QString& text, const QString& yes = {},
              const QString& no = {});

} // namespace quellmarin::ui
