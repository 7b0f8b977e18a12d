// The main window: the menus, the front panel and the four status panes.
#pragma once

#include "shell/PropertyViewPage.h"
#include "shell/QuellmarinApp.h"
#include "server/RemoteServer.h"
#include "windows/RemoteControlWindow.h"

#include <QList>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <array>
#include <map>
#include <memory>

class QLabel;
class QAction;
class QDockWidget;
class QMenu;

namespace quellmarin::ui {

class ToneIndicator;
class HelpWindow;
class RigView;
class RemoteControlWindow;
}

namespace quellmarin::ui {

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    explicit CMainFrame(CQuellmarinApp& app, QWidget* parent = nullptr);

    CPropertyViewPage* Page() const { return page_; }
    // Passing messages stay this long in the status bar.
    static constexpr int kNoteMs = 6000;
    void ShowNote(const QString& text);
    // Device > Network ports...: the list, kept in the settings and given to the scan.
    // Device > Virtual processors...; `builtIn` is the menu's switch of the virtual line.
    void OpenVirtualProcessors(QAction* builtIn);
    void OpenNetworkPorts();
    // The network ports the user confirmed: kept in the settings and scanned from now on.
    void UseNetworkPorts(const std::vector<std::string>& ports);
    QString Note() const;
    void SetPaneText(int pane, const QString& text);
    QString PaneText(int pane) const;
    // Status panes from the records and the connection.
    void RefreshStatus();
    // Loads a parameter file into the records (with the load checks' messages); true when it did.
    bool LoadFile(const QString& path);
    bool SaveFile(const QString& path);
    QAction* Action(int command) const;
    // The recent parameter files of the File menu, newest first.
    QStringList RecentFiles() const;
    QList<QAction*> RecentActions() const { return recentActions_; }
    // The folder the file dialogs open in.
    QString LastFolder() const;
    // Filters of a measurement program's filter file put on a channel's equaliser, after the user saw
    // what the device will do (one step of the history); false when nothing was imported.
    bool ImportFilters(const QString& path);
    // The channel's equaliser as a filter file.
    bool ExportFilters(const QString& path, ChannelRef channel);
    // The set-up report of the program's settings, as HTML or, for a ".pdf" path, as PDF.
    bool ExportReport(const QString& path);
    // What the program remembers between runs, in the user's configuration folder.
    static QString SettingsPath();
    // ---- The rig ---------------------------------------------------------------------------------------
    // The rig view, docked below the front panel while the rig has a processor.
    RigView* RigPanel() const { return rigView_; }
    QDockWidget* RigDock() const { return rigDock_; }
    // A show file: every processor of the rig, offline (each compared when it is connected). Refused
    // while connected, and for a damaged file, with nothing changed.
    bool OpenShowFile(const QString& path);
    bool SaveShowFile(const QString& path);
    // One parameter file per processor into `folder` ("1-Sub_left.asc", ...).
    bool ExportRig(const QString& folder);
    // The rig view's rows from the rig.
    void RefreshRig();
    // The help window (F1), made at its first use.
    void ShowHelp();
    HelpWindow* Help() const { return help_; }
    // Device > Remote control...: the window of the remote-control server, which lives as long as this
    // window (and serves again at the next start when it served at the last).
    void OpenRemoteControl();
    RemoteControlWindow* RemoteWindow() const { return remoteWindow_; }
    RemoteServer& Remote() { return *remote_; }
    MqttBridge& Mqtt() { return *mqtt_; }
    remote::TokenStore& RemoteTokens() { return *remoteTokens_; }
    // The status bar's word on the server: where it serves, and who holds the lock.
    QString RemoteStateText() const;
    // Where the help document was written at start.
    QString HelpPath() const { return helpPath_; }

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    void BuildMenus();
    // A load or save of `path` went well: the title names it, it heads the recent files, and its
    // folder is where the next file dialog opens.
    void FileUsed(const QString& path);
    void RebuildRecentMenu();
    void OpenRecent(const QString& path);
    void RestoreWindow();
    // Reads the processor's settings and lists where they differ; with `sendAtOnce` the program's
    // settings go to the device without asking (the choice was made after a file load).
    void CompareWithDevice(bool sendAtOnce);
    // The differences to a device's record, with Send and Take; a note when there are none.
    void ShowComparison(const SystemParameters& device);
    // The Edit menu's Undo and Redo name the step they would take.
    void RefreshHistory();
    void OpenFile();
    void SaveFileAs();
    // The program windows: the list of the device's programs (only while connected), the save of the
    // current program, the signal generator.
    void OpenProgramList();
    void OpenSaveProgram();
    void OpenGenerator();
    void WriteHelp();
    void ShowUnconfirmed(const QStringList& missing, bool unread);
    // The title names the file in use and marks edits not saved to it.
    void RefreshTitle();
    // File > Save: the file in use, or Save as when there is none.
    void SaveCurrent();
    // Before something that would lose unsaved edits (`what`: "quitting"): asks to save them; true
    // when it may go ahead.
    bool MayDiscardEdits(const QString& what);
    void RefreshTone();
    void StopTone();
    void WarnUnconfirmed(const QStringList& missing, bool unread);
    void BuildRigView();
    // Names the user gave processors, by port and ID, kept in the settings.
    void ApplyRememberedNames();
    void RememberName(std::size_t unit);

    CQuellmarinApp& app_;
    CPropertyViewPage* page_;
    std::array<QLabel*, 4> panes_{};
    // Edits a read of the processor did not confirm, until a later read does; hidden while none.
    QLabel* unconfirmed_ = nullptr;
    QString currentFile_; // the parameter file last loaded or saved
    // The running test tone, shown whatever window is open.
    ToneIndicator* tone_ = nullptr;
    QPointer<QMessageBox> unconfirmedBox_;
    std::map<int, QAction*> actions_;
    QString helpPath_;
    QMenu* fileMenu_ = nullptr;
    QAction* recentEnd_ = nullptr; // the separator before Exit
    QList<QAction*> recentActions_;
    HelpWindow* help_ = nullptr;
    RigView* rigView_ = nullptr;
    QDockWidget* rigDock_ = nullptr;
    bool rigDockShownOnce_ = false;
    QAction* undo_ = nullptr;
    QAction* redo_ = nullptr;
    std::unique_ptr<remote::TokenStore> remoteTokens_;
    std::unique_ptr<remote::AuditLog> remoteAudit_;
    std::unique_ptr<RemoteServer> remote_;
    std::unique_ptr<MqttBridge> mqtt_;
    QPointer<RemoteControlWindow> remoteWindow_;
    QLabel* remoteState_ = nullptr;
    void StartRemote();
    void RefreshRemoteState();
};

} // namespace quellmarin::ui
