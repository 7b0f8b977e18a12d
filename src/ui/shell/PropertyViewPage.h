// The front panel: the device list with the scan button, the two level-meter strips with their
// status and link indicators, the response graph of the selected channel and the channel strip.
// Every edit goes through an editor; the strip opens the editor windows registered for its columns.
#pragma once

#include "panel/PanelLogic.h"
#include "shell/QuellmarinApp.h"
#include "edit/AliasEditor.h"
#include "edit/LinkEditor.h"
#include "edit/PanelLock.h"
#include "edit/RouteEditor.h"
#include "edit/CompressorEditor.h"
#include "edit/CrossoverEditor.h"
#include "edit/DelayEditor.h"
#include "edit/EqEditor.h"
#include "edit/GainEditor.h"
#include "edit/LimiterEditor.h"
#include "edit/MuteEditor.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <map>

class QLabel;
class QListWidget;
class QPushButton;

namespace quellmarin::ui {

class LevelMeterStrip;
class Lamp;
class ModulePopup;
class EqPopup;
class ResponseGraph;
class ScanWindow;
class WarningDialog;

class CPropertyViewPage : public QWidget {
    Q_OBJECT
  public:
    explicit CPropertyViewPage(CQuellmarinApp& app, QWidget* parent = nullptr);

    PanelLogic& Logic() { return logic_; }
    int CurrentChannel() const { return logic_.CurrentChannel(); }
    // The channel whose response the graph shows.
    ChannelRef GraphChannel() const {
        return logic_.InputSectionActive() ? ChannelRef{Section::Input, logic_.CurrentInputChannel()}
                                           : ChannelRef{Section::Output, logic_.CurrentOutputChannel()};
    }

    // The editor window a strip column opens; the page tells it the selected channel of its section.
    void RegisterPopup(StripAction action, ModulePopup* popup);
    ModulePopup* Popup(StripAction action) const;
    // A module window was clicked: the emphasis moves to its section.
    void ActivateModule(int code);

    void SelectStrip(int id);
    // The tooltip of a strip button: the current value of its column ("Gain -6 dB"), then what the
    // column does. Made when it is shown, so that it is always current and costs nothing meanwhile.
    QString StripTip(const QObject* button) const;
    // The modal device windows; while connected they hold the poll for their exchanges.
    void OpenLinkWindow(Section section);
    void OpenAliasWindow();
    void OpenPanelLockWindow();
    // Faint responses of the other outputs behind the one shown.
    void ShowOtherOutputs(bool on);
    void RefreshMuteButtons();
    // Every control and every editor window from the records (after a whole-state read or a file load).
    void RefreshAll();
    void SetLevels(const LevelFrame& frame);
    void SetStatusBytes(std::uint8_t in, std::uint8_t out);
    void ResetIndicators();
    void ShowLostDevice();
    void StartScan();
    // Asks how to connect to the selected device of the list, then connects that way.
    void ConnectFromList();
    // Connects to the selected device: reads its state, or with `download` writes the program's into it.
    void StartConnect(bool download);
    void Disconnect();
    bool NoDeviceFound() const { return noDeviceFound_; }
    bool WarningSuppressed() const { return warningSuppressed_; }

    QPushButton* ScanButton() const { return scanButton_; }
    LevelMeterStrip* InputMeters() const { return inMeters_; }
    LevelMeterStrip* OutputMeters() const { return outMeters_; }
    Lamp* StatusLamp(Section s, int i) const { return (IsOutput(s) ? outLamps_ : inLamps_)[i]; }
    Lamp* LinkLamp(Section s, int i) const { return (IsOutput(s) ? outLinks_ : inLinks_)[i]; }
    QListWidget* DeviceList() const { return deviceList_; }
    WarningDialog* Warning() const { return warning_; }
    ResponseGraph* Graph() const { return graph_; }

  signals:
    // A short note for the status bar (a window that does not exist yet, ...).
    void note(const QString& text);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The visible strip button `rows` down or `columns` right of `from` (one of them is 0), if any.
    QPushButton* StripNeighbour(const QPushButton* from, int rows, int columns) const;

  private:
    QWidget* BuildMeters(Section section);
    QWidget* BuildStrip();
    void BuildActions();
    void BuildPopups();
    // An editor window changed the record: the graph and the tooltips follow.
    void OnEdited();
    // A band button of an equaliser window: the graph selects the band (or none).
    void OnBandClicked(Section section, int band, bool select);
    // The graph's band selection shown by the equaliser window of its section.
    void SyncBandSelection();
    // Windows that show what the graph edits reload their fields.
    void RefreshGraphPopups();
    // Channel names under the meters and beside the strip's rows.
    void RefreshNames();
    void OpenPopup(StripAction action);
    void SelectDevice(int row);
    void ShowScanResult(const QStringList& lines);
    // After a download the device did not confirm: asks whether to send the record again, and does.
    void OfferResend(const QString& why);
    void RefreshStrip();
    void RefreshLinkLamps();
    void RefreshGraph();
    void OnStateChanged(LinkState state);

    CQuellmarinApp& app_;
    PanelLogic logic_;
    MuteEditor mute_;
    EqEditor inputEq_, outputEq_;
    CrossoverEditor crossover_;
    GainEditor inputGain_, outputGain_;
    LimiterEditor limiter_;
    CompressorEditor compressor_;
    DelayEditor inputDelay_, outputDelay_;
    RouteEditor route_;
    LinkEditor links_;
    AliasEditor alias_;
    PanelLock panelLock_;
    std::map<StripAction, std::function<void(int channel)>> actions_;
    std::map<StripAction, ModulePopup*> popups_;
    EqPopup* inputEqPopup_ = nullptr;
    EqPopup* outputEqPopup_ = nullptr;
    QListWidget* deviceList_ = nullptr;
    QPushButton* scanButton_ = nullptr;
    LevelMeterStrip* inMeters_ = nullptr;
    LevelMeterStrip* outMeters_ = nullptr;
    std::array<Lamp*, 8> inLamps_{}, outLamps_{}, inLinks_{}, outLinks_{};
    std::array<QLabel*, 8> inNames_{}, outNames_{}, rowNames_{};
    ResponseGraph* graph_ = nullptr;
    std::map<int, QPushButton*> strip_;
    ScanWindow* scanWindow_ = nullptr;
    WarningDialog* warning_ = nullptr;
    QTimer indicatorTimer_; // the 10 ms one-shot of the indicators
    std::uint8_t inStatus_ = 0, outStatus_ = 0;
    bool noDeviceFound_ = true;
    bool warningSuppressed_ = false;
};

} // namespace quellmarin::ui
