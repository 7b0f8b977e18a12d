// The "Channel Link Setting" window of one side: a column of group buttons for every channel, one of
// them chosen; OK confirms the grouping.
#pragma once

#include "edit/LinkEditor.h"

#include <QDialog>
#include <array>

class QAbstractButton;
class QButtonGroup;

namespace quellmarin::ui {

class LinkWindow : public QDialog {
    Q_OBJECT
  public:
    LinkWindow(LinkEditor& editor, Section section, QWidget* parent);
    // The group rows as chosen in the window.
    std::array<int, 8> Rows() const;
    // Chooses a group for a channel (what a click on its button does).
    void Choose(int channel, int group);
    QAbstractButton* GroupButton(int channel, int group) const;

  private:
    LinkEditor& editor_;
    Section section_;
    std::array<int, 8> stored_{};
    std::array<QButtonGroup*, 8> columns_{};
};

} // namespace quellmarin::ui
