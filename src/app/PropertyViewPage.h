// The front panel: the device list with the scan button, the two level-meter strips with their
// status and link indicators, the response view of the selected channel and the channel strip.
#pragma once

#include "app/PanelLogic.h"
#include "app/QuellmarinApp.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <map>

class QListWidget;
class QPushButton;
class QLabel;

namespace quellmarin::ui {

class LevelMeterStrip;
class Lamp;
class ResponseGraph;
class ScanWindow;
class WarningDialog;

class CPropertyViewPage : public QWidget {
    Q_OBJECT
  public:
    explicit CPropertyViewPage(CQuellmarinApp& app, QWidget* parent = nullptr);

    PanelLogic& Logic() { return logic_; }
    int CurrentChannel() const { return logic_.CurrentChannel(); }

    void SelectStrip(int id);
    void RefreshMuteButtons();
    // Every control from the records (after a whole-state read or a file load).
    void RefreshAll();
    void SetLevels(const LevelFrame& frame);
    void SetStatusBytes(std::uint8_t in, std::uint8_t out);
    void ResetIndicators();
    void ShowLostDevice();
    void StartScan();
    void ConnectFromList();
    void Disconnect();
    bool NoDeviceFound() const { return noDeviceFound_; }
    bool WarningSuppressed() const { return warningSuppressed_; }

    QPushButton* StripButton(int id) const;
    LevelMeterStrip* InputMeters() const { return inMeters_; }
    LevelMeterStrip* OutputMeters() const { return outMeters_; }
    Lamp* StatusLamp(bool output, int i) const { return (output ? outLamps_ : inLamps_)[i]; }
    Lamp* LinkLamp(bool output, int i) const { return (output ? outLinks_ : inLinks_)[i]; }
    QListWidget* DeviceList() const { return deviceList_; }
    WarningDialog* Warning() const { return warning_; }
    ResponseGraph* Graph() const { return graph_; }

  signals:
    // A short note for the status bar (a window that does not exist yet, ...).
    void note(const QString& text);

  private:
    QWidget* BuildMeters(bool output);
    QWidget* BuildStrip();
    void SelectDevice(int row);
    void RefreshStrip();
    void RefreshLinkLamps();
    void RefreshGraph();
    void OnConnectionChanged(bool connected);

    CQuellmarinApp& app_;
    PanelLogic logic_;
    QListWidget* deviceList_ = nullptr;
    QPushButton* scanButton_ = nullptr;
    LevelMeterStrip* inMeters_ = nullptr;
    LevelMeterStrip* outMeters_ = nullptr;
    std::array<Lamp*, 8> inLamps_{}, outLamps_{}, inLinks_{}, outLinks_{};
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
