// The one way the windows show a message box, so that tests can answer it instead of a person.
#pragma once

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

// A question with Yes and No, No being the default; true for Yes.
using QuestionHandler = std::function<bool(QWidget* parent, const QString& caption, const QString& text)>;
// Replaces the real question box (an empty handler restores it).
void SetQuestionHandler(QuestionHandler handler);
// The buttons may carry other words than Yes and No.
bool AskYesNo(QWidget* parent, const QString& caption, const QString& text, const QString& yes = {},
              const QString& no = {});

} // namespace quellmarin::ui
