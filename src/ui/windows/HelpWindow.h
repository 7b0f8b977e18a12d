// The help document in a window of the program: its contents on the left, the text on the right, and
// a search field that finds the next place a word occurs (wrapping at the end).
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QTextBrowser;

namespace quellmarin::ui {

class HelpWindow : public QDialog {
    Q_OBJECT
  public:
    explicit HelpWindow(QWidget* parent = nullptr);
    QListWidget* Contents() const { return contents_; }
    QTextBrowser* Text() const { return text_; }
    QLineEdit* SearchField() const { return search_; }
    // Finds the next occurrence of the search text; false when there is none in the whole document.
    bool FindNext();

  private:
    QListWidget* contents_;
    QTextBrowser* text_;
    QLineEdit* search_;
    QLabel* found_;
};

} // namespace quellmarin::ui
