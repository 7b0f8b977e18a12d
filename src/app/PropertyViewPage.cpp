#include "app/PropertyViewPage.h"

#include "app/Dialogs.h"
#include "app/MessageBox.h"
#include "app/Widgets.h"
#include "dsp/Scales.h"
#include "graph/ResponseGraph.h"
#include "link/Discovery.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quellmarin::ui {

namespace {

// The strip's display order: the input functions, then the output functions.
constexpr int kInputOrder[] = {2100, 2200, 2300, 3200, 2400};
constexpr int kOutputOrder[] = {2500, 2600, 2700, 2800, 2900, 3000, 3100};

QString ChannelLabel(bool output, int k, DeviceModel model) {
    if (!output && model == DeviceModel::Ketra) return QString(QChar('A' + k - 4));
    return QString::number(k + 1);
}

} // namespace

CPropertyViewPage::CPropertyViewPage(CQuellmarinApp& app, QWidget* parent)
    : QWidget(parent), app_(app), logic_(app.Model()) {
    setObjectName("frontPanel");
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(8, 8, 8, 8);
    root->setSpacing(8);

    auto* top = new QHBoxLayout;
    auto* devices = new QGroupBox("Devices", this);
    auto* devLayout = new QVBoxLayout(devices);
    deviceList_ = new QListWidget(devices);
    deviceList_->setObjectName("deviceList");
    deviceList_->setToolTip("Processors found by the last scan; double-click one to connect");
    deviceList_->addItem(QString::fromUtf8(kNoDeviceLine.data(), static_cast<int>(kNoDeviceLine.size())));
    scanButton_ = new QPushButton("Scan device", devices);
    scanButton_->setObjectName("scanButton");
    scanButton_->setToolTip("Look for processors on the serial ports, or end the connection");
    devLayout->addWidget(deviceList_);
    devLayout->addWidget(scanButton_);
    devices->setFixedWidth(190);
    top->addWidget(devices);
    top->addWidget(BuildMeters(false), 1);
    top->addWidget(BuildMeters(true), 1);
    root->addLayout(top, 3);

    auto* bottom = new QHBoxLayout;
    graph_ = new ResponseGraph(app_.Model(), this);
    graph_->setObjectName("responseGraph");
    graph_->setToolTip(
        "Drag a band handle to set its frequency and gain, the wheel sets its Q, a quick right "
        "click picks its type; drag HP and LP to move the crossover corners");
    // Every change on the graph is written into the record and sent at once.
    graph_->Model().SetHooks(
        [this](const EqBand& b) { app_.Post(ApplyBandToRecord(g_SystemParameters, b, app_.Address())); },
        [this](const CrossoverCurve& x) {
            if (const auto frame = ApplyCrossoverToRecord(g_SystemParameters, x, app_.Address()))
                app_.Post(*frame);
        });
    bottom->addWidget(graph_, 1);
    bottom->addWidget(BuildStrip());
    root->addLayout(bottom, 4);

    scanWindow_ = new ScanWindow(this);
    scanWindow_->hide();
    warning_ = new WarningDialog(this);
    warning_->hide();
    connect(warning_, &WarningDialog::dismissed, this, [this] { warningSuppressed_ = true; });

    indicatorTimer_.setSingleShot(true);
    indicatorTimer_.setInterval(10);
    connect(&indicatorTimer_, &QTimer::timeout, this, [this] {
        for (int i = 0; i < 8; ++i) {
            inLamps_[i]->SetLit(app_.Connected() && IndicatorLit(inStatus_, i));
            outLamps_[i]->SetLit(app_.Connected() && IndicatorLit(outStatus_, i));
        }
    });

    connect(scanButton_, &QPushButton::clicked, this, [this] {
        if (app_.Connected())
            Disconnect();
        else
            StartScan();
    });
    // A selection the user makes; the focus landing on the list selects nothing.
    connect(deviceList_, &QListWidget::itemSelectionChanged, this, [this] {
        const auto selected = deviceList_->selectedItems();
        if (!selected.isEmpty()) SelectDevice(deviceList_->row(selected.first()));
    });
    connect(deviceList_, &QListWidget::itemDoubleClicked, this, [this] { ConnectFromList(); });
    connect(&app_, &CQuellmarinApp::scanProgress, scanWindow_, &ScanWindow::SetProgress);
    connect(&app_, &CQuellmarinApp::scanFinished, this, [this](const QStringList& lines) {
        deviceList_->blockSignals(true);
        deviceList_->clear();
        deviceList_->addItems(lines);
        deviceList_->blockSignals(false);
        if (!app_.Link().Devices().empty()) noDeviceFound_ = false;
        scanWindow_->hide();
        scanButton_->setEnabled(true);
        graph_->AnimationTimer().start();
        emit note(app_.Link().Devices().empty() ? "No processor answered."
                                                : QString("%1 processor(s) found.").arg(lines.size()));
    });
    connect(&app_, &CQuellmarinApp::levelsArrived, this, &CPropertyViewPage::SetLevels);
    connect(&app_, &CQuellmarinApp::lostDevice, this, &CPropertyViewPage::ShowLostDevice);
    connect(&app_, &CQuellmarinApp::recordsReplaced, this, &CPropertyViewPage::RefreshAll);
    connect(&app_, &CQuellmarinApp::connectionChanged, this, &CPropertyViewPage::OnConnectionChanged);
    connect(&app_, &CQuellmarinApp::connectFinished, this,
            [this](bool ok, const QString& message, const QString& caption) {
                scanButton_->setEnabled(true);
                if (!ok && !message.isEmpty()) ShowMessage(this, caption, message);
                if (ok) warningSuppressed_ = false;
                scanButton_->setText(app_.Connected() ? "Disconnect.." : "Scan device");
            });
    RefreshAll();
}

QWidget* CPropertyViewPage::BuildMeters(bool output) {
    auto* box = new QGroupBox(output ? "Outputs" : "Inputs", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(3);
    auto& lamps = output ? outLamps_ : inLamps_;
    auto& links = output ? outLinks_ : inLinks_;
    const DeviceModel model = app_.Model();
    auto* meters = new LevelMeterStrip(!output, model, box);
    meters->setObjectName(output ? "outputMeters" : "inputMeters");
    meters->setToolTip(output ? "Output levels" : "Input levels");
    (output ? outMeters_ : inMeters_) = meters;
    int col = 0;
    for (int k = 0; k < 8; ++k) {
        lamps[k] = new Lamp(Lamp::Status, box);
        links[k] = new Lamp(Lamp::Link, box);
        lamps[k]->setToolTip(output ? "Limiter active" : "Signal over the clip threshold");
        links[k]->setToolTip("Lit when this channel is linked with the selected one; click to set up links");
        connect(links[k], &Lamp::clicked, this,
                [this] { emit note("Channel link setting: not available yet."); });
        const bool shown = output || InputSlotUsed(model, k);
        lamps[k]->setVisible(shown);
        links[k]->setVisible(shown);
        if (!shown) continue;
        auto* label = new QLabel(ChannelLabel(output, k, model), box);
        label->setAlignment(Qt::AlignCenter);
        grid->addWidget(lamps[k], 0, col, Qt::AlignCenter);
        grid->addWidget(links[k], 1, col, Qt::AlignCenter);
        grid->addWidget(label, 3, col, Qt::AlignCenter);
        ++col;
    }
    grid->addWidget(meters, 2, 0, 1, col);
    grid->setRowStretch(2, 1);
    return box;
}

QWidget* CPropertyViewPage::BuildStrip() {
    auto* box = new QGroupBox("Channels", this);
    box->setObjectName("channelStrip");
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(3);
    const DeviceModel model = app_.Model();
    int col = 1;
    const auto addColumns = [&](const int* bases, int count, bool output) {
        auto* heading = new QLabel(output ? "OUTPUT" : "INPUT", box);
        heading->setObjectName("sectionHeading");
        grid->addWidget(heading, 0, col, 1, count, Qt::AlignCenter);
        for (int c = 0; c < count; ++c, ++col) {
            for (int k = 0; k < 8; ++k) {
                const int id = bases[c] + k;
                const auto info = DecodeStripId(id);
                auto* b = new QPushButton(
                    QString::fromUtf8(info->info->label.data(), static_cast<int>(info->info->label.size())),
                    box);
                b->setObjectName(QString("strip%1").arg(id));
                b->setProperty("section", output ? "output" : "input");
                b->setProperty("mute", info->info->action == StripAction::ToggleInputMute ||
                                           info->info->action == StripAction::ToggleOutputMute);
                b->setToolTip(QString("%1, %2 %3")
                                  .arg(QString::fromUtf8(info->info->tooltip.data(),
                                                         static_cast<int>(info->info->tooltip.size())))
                                  .arg(output ? "output" : "input")
                                  .arg(ChannelLabel(output, k, model)));
                b->setFocusPolicy(Qt::TabFocus);
                b->setMinimumWidth(46);
                b->setMaximumWidth(64);
                connect(b, &QPushButton::clicked, this, [this, id] { SelectStrip(id); });
                strip_[id] = b;
                const bool shown = output || InputSlotUsed(model, k);
                b->setVisible(shown);
                if (shown) grid->addWidget(b, 1 + k, col);
            }
        }
        ++col; // a gap between the sections
    };
    for (int k = 0; k < 8; ++k) {
        auto* label = new QLabel(QString::number(k + 1), box);
        if (model == DeviceModel::Ketra && k >= 4)
            label->setText(QString("%1 / %2").arg(QChar('A' + k - 4)).arg(k + 1));
        grid->addWidget(label, 1 + k, 0);
    }
    addColumns(kInputOrder, 5, false);
    addColumns(kOutputOrder, 7, true);
    grid->setRowStretch(9, 1);
    return box;
}

QPushButton* CPropertyViewPage::StripButton(int id) const {
    const auto it = strip_.find(id);
    return it == strip_.end() ? nullptr : it->second;
}

void CPropertyViewPage::SelectStrip(int id) {
    const auto click = logic_.SelectStrip(id);
    if (!click) return;
    const bool output = click->info->output;
    switch (click->info->action) {
    case StripAction::ToggleInputMute:
    case StripAction::ToggleOutputMute:
        if (const auto frame = logic_.ToggleMute(g_SystemParameters, output, click->channel, app_.Address()))
            app_.Post(*frame);
        break;
    default:
        emit note(QString("%1 %2: editor not available yet.")
                      .arg(QString::fromUtf8(click->info->tooltip.data(),
                                             static_cast<int>(click->info->tooltip.size())))
                      .arg(QString::fromStdString(ChannelTag(output, click->channel, app_.Model()))));
        break;
    }
    RefreshStrip();
    RefreshLinkLamps();
    RefreshGraph();
}

void CPropertyViewPage::RefreshMuteButtons() {
    for (int k = 0; k < 8; ++k) {
        for (bool output : {false, true}) {
            QPushButton* b = strip_.at((output ? 3100 : 2400) + k);
            const bool muted = PanelLogic::MuteShown(g_SystemParameters, output, k);
            b->setProperty("muted", muted);
            b->setText(muted ? "MUTED" : "Mute");
            b->style()->unpolish(b);
            b->style()->polish(b);
        }
    }
}

void CPropertyViewPage::RefreshStrip() {
    const bool inputActive = logic_.InputSectionActive();
    for (auto& [id, b] : strip_) {
        const auto click = DecodeStripId(id);
        const bool output = click->info->output;
        const bool selected = output ? click->channel == logic_.CurrentOutputChannel()
                                     : click->channel == logic_.CurrentInputChannel();
        const bool active = output != inputActive;
        b->setProperty("selectedChannel", selected);
        b->setProperty("activeSection", active);
        b->style()->unpolish(b);
        b->style()->polish(b);
    }
    RefreshMuteButtons();
}

void CPropertyViewPage::RefreshLinkLamps() {
    for (int k = 0; k < 8; ++k) {
        inLinks_[k]->SetLit(logic_.LinkLit(g_SystemParameters, false, k));
        outLinks_[k]->SetLit(logic_.LinkLit(g_SystemParameters, true, k));
    }
}

void CPropertyViewPage::RefreshGraph() {
    if (logic_.InputSectionActive())
        graph_->Model().LoadInput(g_SystemParameters, logic_.CurrentInputChannel());
    else
        graph_->Model().LoadOutput(g_SystemParameters, logic_.CurrentOutputChannel());
    graph_->Invalidate();
}

void CPropertyViewPage::RefreshAll() {
    RefreshStrip();
    RefreshLinkLamps();
    RefreshGraph();
}

void CPropertyViewPage::SetLevels(const LevelFrame& frame) {
    inMeters_->SetLevels(frame.in);
    outMeters_->SetLevels(frame.out);
    SetStatusBytes(frame.inStatus, frame.outStatus);
}

void CPropertyViewPage::SetStatusBytes(std::uint8_t in, std::uint8_t out) {
    inStatus_ = in;
    outStatus_ = out;
    indicatorTimer_.start();
}

void CPropertyViewPage::ResetIndicators() {
    inMeters_->Reset();
    outMeters_->Reset();
    inStatus_ = outStatus_ = 0;
    for (int i = 0; i < 8; ++i) {
        inLamps_[i]->SetLit(false);
        outLamps_[i]->SetLit(false);
    }
}

void CPropertyViewPage::ShowLostDevice() {
    if (!app_.Connected()) return;
    if (warningSuppressed_) {
        warning_->hide();
        return;
    }
    if (!warning_->isVisible()) {
        warning_->adjustSize();
        warning_->move(window()->frameGeometry().center() - warning_->rect().center());
    }
    warning_->show();
    warning_->raise();
}

void CPropertyViewPage::StartScan() {
    if (app_.Connected() || app_.Busy()) return;
    scanButton_->setEnabled(false);
    // The handle animation pauses for the time of the scan.
    graph_->AnimationTimer().stop();
    scanWindow_->Begin();
    app_.StartScan();
}

void CPropertyViewPage::SelectDevice(int row) {
    if (row < 0) return;
    const SelectResult r = app_.Link().Select(deviceList_->item(row)->text().toStdString());
    if (!r.message.empty())
        ShowMessage(this, "Quellmarin",
                    QString::fromUtf8(r.message.data(), static_cast<int>(r.message.size())));
}

void CPropertyViewPage::ConnectFromList() {
    if (noDeviceFound_ || app_.Busy()) return;
    QListWidgetItem* item = deviceList_->currentItem();
    if (!item || item->text().trimmed().startsWith("None")) return;
    if (app_.Connected()) {
        ShowMessage(this, "Prompt", "Has been connected to device!");
        scanButton_->setText("Disconnect..");
        return;
    }
    ConnectDialog dialog(item->text().trimmed(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    scanButton_->setEnabled(false);
    emit note(dialog.Download() ? "Writing the state into the processor..."
                                : "Reading the processor's state...");
    app_.StartConnect(dialog.Download());
}

void CPropertyViewPage::Disconnect() {
    scanButton_->setEnabled(false);
    app_.StartDisconnect();
}

void CPropertyViewPage::OnConnectionChanged(bool connected) {
    scanButton_->setEnabled(true);
    scanButton_->setText(connected ? "Disconnect.." : "Scan device");
    if (!connected) {
        ResetIndicators();
        warning_->hide();
    }
}

} // namespace quellmarin::ui
