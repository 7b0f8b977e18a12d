// The frame of every channel editor window: a modeless popup, made hidden once by the front panel
// and reused for whichever channel is selected. SetChannel() names the channel in the title (from the
// editor's own title format) and reloads the controls; Refresh() reloads them from the record and
// sends nothing; the close box and Escape only hide it. Shown from hidden, it stands centred over the
// main window with its top at the main window's top. Clicked or otherwise activated, it reports its
// module code, so that the front panel moves its emphasis to the popup's section.
#pragma once

#include "edit/EditContext.h"

#include <QDialog>
#include <functional>

namespace quellmarin::ui {

class ModulePopup : public QDialog {
    Q_OBJECT
  public:
    // A popup that does not move the front panel's emphasis when clicked (the compressor's).
    static constexpr int kNoModuleCode = -1;

    ModulePopup(int moduleCode, Section section, QWidget* parent, DeviceModel model = kBuildModel);
    // The controls still exist while the base classes delete them, and a field losing the focus then
    // would call an editor window that is already gone: they are cut off from it first.
    ~ModulePopup() override;

    int ModuleCode() const { return moduleCode_; }
    Section GetSection() const { return section_; }
    int Channel() const { return channel_; }

    void SetChannel(int channel);
    // What the window title adds to the editor's own (which processor of a rig, the group).
    void SetTitleDecorator(std::function<QString(const QString&)> decorate) { decorate_ = std::move(decorate); }
    // Reloads the title and every control from the record; sends nothing.
    void Refresh();
    // Shows the popup (placing it over `mainWindow` when it was hidden) and gives it the focus.
    void Open(QWidget* mainWindow);

  signals:
    void activated(int moduleCode);
    // The user changed something (the front panel updates what shows the value elsewhere).
    void edited();

  protected:
    // The window title for a channel, from the editor's title format.
    virtual QString TitleFor(int channel) const = 0;
    // Loads every control from the record.
    virtual void Reload() = 0;
    void keyPressEvent(QKeyEvent* e) override;
    void changeEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;

  private:
    // Names every control after the channel: its "what" property after the channel's name
    // ("Input 3 gain up").
    void NameControls();

    int moduleCode_;
    Section section_;
    DeviceModel model_;
    int channel_ = 0;
    std::function<QString(const QString&)> decorate_;
};

} // namespace quellmarin::ui
