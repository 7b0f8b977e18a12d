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

} // namespace quellmarin::ui
