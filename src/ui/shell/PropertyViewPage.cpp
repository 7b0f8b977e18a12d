#include "shell/PropertyViewPage.h"

#include "link/NetworkPort.h"

#include "windows/ConnectDialog.h"
#include "widgets/Lamp.h"
#include "widgets/LevelMeterStrip.h"
#include "widgets/MessageBox.h"
#include "widgets/OpenModal.h"
#include "widgets/QText.h"
#include "windows/ScanWindow.h"
#include "windows/WarningDialog.h"
#include "windows/AliasWindow.h"
#include "windows/LinkWindow.h"
#include "windows/PanelLockWindow.h"
#include "windows/RouteWindow.h"
#include "graph/ResponseGraph.h"
#include "link/Discovery.h"
#include "link/WholeState.h"
#include "model/ValueRanges.h"
#include "windows/CompressorPopup.h"
#include "windows/CrossoverPopup.h"
#include "windows/EqPopup.h"
#include "windows/GainPopup.h"
#include "windows/InputDelayPopup.h"
#include "windows/LimiterPopup.h"
#include "windows/OutputDelayPopup.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QKeyEvent>
#include <QToolTip>
#include <QVBoxLayout>
#include <algorithm>

namespace quellmarin::ui {

namespace {

// The strip's display order: the input functions, then the output functions.
constexpr int kInputOrder[] = {2100, 2200, 2300, 3200, 2400};
constexpr int kOutputOrder[] = {2500, 2600, 2700, 2800, 2900, 3000, 3100};
constexpr const char* kMutedText = "MUTED";
constexpr const char* kDeviceListTip = "Processors found by the last scan; double-click one to connect";

void Repolish(QWidget* w) {
    w->style()->unpolish(w);
    w->style()->polish(w);
}

} // namespace

CPropertyViewPage::CPropertyViewPage(CQuellmarinApp& app, QWidget* parent)
    : QWidget(parent), app_(app), logic_(app.Model()), mute_(app.Context()),
      inputEq_(app.Context(), Section::Input), outputEq_(app.Context(), Section::Output),
      crossover_(app.Context()), inputGain_(app.Context(), Section::Input),
      outputGain_(app.Context(), Section::Output), limiter_(app.Context()), compressor_(app.Context()),
      inputDelay_(app.Context(), Section::Input), outputDelay_(app.Context(), Section::Output),
      route_(app.Context()), links_(app.Context()), alias_(app.Context()), panelLock_(app.Context()) {
    setObjectName("frontPanel");
    setAccessibleName("Front panel");
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(8, 8, 8, 8);
    root->setSpacing(8);

    auto* top = new QHBoxLayout;
    auto* devices = new QGroupBox("Devices", this);
    auto* devLayout = new QVBoxLayout(devices);
    deviceList_ = new QListWidget(devices);
    deviceList_->setObjectName("deviceList");
    deviceList_->setAccessibleName("Device list");
    deviceList_->setToolTip(kDeviceListTip);
    deviceList_->addItem(Q(kNoDeviceLine));
    scanButton_ = new QPushButton("Scan device", devices);
    scanButton_->setObjectName("scanButton");
    scanButton_->setAccessibleName("Scan device");
    scanButton_->setToolTip("Look for processors on the serial ports, or end the connection");
    devLayout->addWidget(deviceList_);
    devLayout->addWidget(scanButton_);
    devices->setFixedWidth(190);
    top->addWidget(devices);
    top->addWidget(BuildMeters(Section::Input), 1);
    top->addWidget(BuildMeters(Section::Output), 1);
    root->addLayout(top, 3);

    auto* bottom = new QHBoxLayout;
    graph_ = new ResponseGraph(app_.Model(), this);
    graph_->setObjectName("responseGraph");
    graph_->setAccessibleName("Frequency response graph");
    graph_->setToolTip(
        "Drag a band handle to set its frequency and gain, the wheel sets its Q, a quick right "
        "click picks its type; drag HP and LP to move the crossover corners");
    // Every change on the graph goes to the equaliser and crossover editors.
    graph_->Model().SetHooks(
        [this](const EqBand& b) {
            (b.output ? outputEq_ : inputEq_)
                .ApplyBand(b.channel, b.band, {b.type, b.freqHz, b.freqStep, b.gainDb, b.qStep});
        },
        [this](const CrossoverCurve& x) {
            crossover_.ApplyCrossover(x.channel, {x.hpf.type, x.hpf.step, x.lpf.type, x.lpf.step});
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
        const bool live = app_.State() == LinkState::Connected;
        for (int i = 0; i < 8; ++i) {
            inLamps_[i]->SetLit(live && IndicatorLit(inStatus_, i));
            outLamps_[i]->SetLit(live && IndicatorLit(outStatus_, i));
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
    connect(&app_, &CQuellmarinApp::scanFinished, this, &CPropertyViewPage::ShowScanResult);
    connect(&app_, &CQuellmarinApp::levelsArrived, this, &CPropertyViewPage::SetLevels);
    connect(&app_, &CQuellmarinApp::lostDevice, this, &CPropertyViewPage::ShowLostDevice);
    connect(&app_, &CQuellmarinApp::recordsReplaced, this, &CPropertyViewPage::RefreshAll);
    connect(&app_, &CQuellmarinApp::stateChanged, this, &CPropertyViewPage::OnStateChanged);
    connect(&app_, &CQuellmarinApp::connectFinished, this,
            [this](bool ok, const QString& message, const QString& caption) {
                if (!ok && !message.isEmpty()) ShowMessage(this, caption, message);
                if (ok) warningSuppressed_ = false;
            });
    connect(&app_, &CQuellmarinApp::downloadUnconfirmed, this, &CPropertyViewPage::OfferResend);
    // Another processor of the rig (or the group) is edited now: every editor's title says so.
    connect(&app_, &CQuellmarinApp::unitSelected, this, [this] {
        for (const auto& [action, popup] : popups_) popup->Refresh();
    });
    BuildActions();
    BuildPopups();
    OnStateChanged(app_.State());
    RefreshAll();
}

void CPropertyViewPage::BuildActions() {
    // The strip's columns and what they do: mutes act at once, the others open their editor window.
    actions_[StripAction::ToggleInputMute] = [this](int k) { mute_.Toggle({Section::Input, k}); };
    actions_[StripAction::ToggleOutputMute] = [this](int k) { mute_.Toggle({Section::Output, k}); };
    for (const StripColumn& c : StripColumns()) {
        if (actions_.count(c.action)) continue;
        actions_[c.action] = [this, action = c.action](int) { OpenPopup(action); };
    }
}

void CPropertyViewPage::BuildPopups() {
    const DeviceModel model = app_.Model();
    RegisterPopup(StripAction::OpenInputGain, new GainPopup(inputGain_, model, this));
    RegisterPopup(StripAction::OpenOutputGain, new GainPopup(outputGain_, model, this));
    RegisterPopup(StripAction::OpenLimiter, new LimiterPopup(limiter_, model, this));
    RegisterPopup(StripAction::OpenCompressor, new CompressorPopup(compressor_, model, this));
    auto* inputDelay = new InputDelayPopup(inputDelay_, model, this);
    auto* outputDelay = new OutputDelayPopup(outputDelay_, model, this);
    RegisterPopup(StripAction::OpenInputDelay, inputDelay);
    RegisterPopup(StripAction::OpenOutputDelay, outputDelay);
    // What an input sees through every output changes with the outputs' delays.
    connect(outputDelay, &ModulePopup::edited, inputDelay, &InputDelayPopup::RebuildOutputsTable);
    inputEqPopup_ = new EqPopup(inputEq_, model, this);
    outputEqPopup_ = new EqPopup(outputEq_, model, this);
    RegisterPopup(StripAction::OpenInputPeq, inputEqPopup_);
    RegisterPopup(StripAction::OpenOutputPeq, outputEqPopup_);
    RegisterPopup(StripAction::OpenCrossover, new CrossoverPopup(crossover_, model, this));
    auto* routes = new RouteWindow(route_, model, this);
    RegisterPopup(StripAction::OpenRouting, routes);
    // What an input sees through the outputs depends on where it is routed.
    connect(routes, &ModulePopup::edited, inputDelay, &InputDelayPopup::RebuildOutputsTable);
    for (EqPopup* eq : {inputEqPopup_, outputEqPopup_})
        connect(eq, &EqPopup::bandClicked, this,
                [this, eq](int band, bool select) { OnBandClicked(eq->GetSection(), band, select); });
    // The graph and the windows stay in step: a band selected or changed in one shows in the other.
    connect(graph_, &ResponseGraph::bandSelected, this, &CPropertyViewPage::SyncBandSelection);
    connect(graph_, &ResponseGraph::changed, this, &CPropertyViewPage::RefreshGraphPopups);
    connect(graph_, &ResponseGraph::eqSwitchRequested, this, [this] {
        const Section section = logic_.InputSectionActive() ? Section::Input : Section::Output;
        (IsOutput(section) ? outputEq_ : inputEq_).SetEnabled(logic_.CurrentChannelOf(section), true);
        OnEdited();
        RefreshGraphPopups();
    });
}

QWidget* CPropertyViewPage::BuildMeters(Section section) {
    const bool output = IsOutput(section);
    auto* box = new QGroupBox(output ? "Outputs" : "Inputs", this);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(3);
    auto& lamps = output ? outLamps_ : inLamps_;
    auto& links = output ? outLinks_ : inLinks_;
    const DeviceModel model = app_.Model();
    auto* meters = new LevelMeterStrip(!output, model, box);
    meters->setObjectName(output ? "outputMeters" : "inputMeters");
    meters->setAccessibleName(output ? "Output level meters" : "Input level meters");
    meters->setToolTip(output ? "Output levels" : "Input levels");
    (output ? outMeters_ : inMeters_) = meters;
    int col = 0;
    for (int k = 0; k < 8; ++k) {
        const QString name = QString::fromStdString(ChannelName(section, k, model));
        // Clip lamps are dots marked C, limit lamps squares marked L: told apart without colour.
        lamps[k] = new Lamp(output ? Lamp::Limit : Lamp::Status, box);
        lamps[k]->SetMark(output ? "L" : "C");
        links[k] = new Lamp(Lamp::Link, box);
        lamps[k]->setAccessibleName(name + (output ? " limiter indicator" : " clip indicator"));
        links[k]->setAccessibleName(name + " link indicator");
        lamps[k]->setToolTip(output ? "L: the limiter is active" : "C: the signal is over the clip threshold");
        links[k]->setToolTip("Lit when this channel is linked with the selected one; click to set up links");
        connect(links[k], &Lamp::clicked, this, [this, section] { OpenLinkWindow(section); });
        const bool shown = output || InputSlotUsed(model, k);
        lamps[k]->setVisible(shown);
        links[k]->setVisible(shown);
        if (!shown) continue;
        auto* label = new QLabel(QString::fromStdString(ChannelLabel(section, k, model)), box);
        label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        (output ? outNames_ : inNames_)[k] = label;
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
    box->setAccessibleName("Channel strip");
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(3);
    grid->setVerticalSpacing(3);
    const DeviceModel model = app_.Model();
    int col = 1;
    const auto addColumns = [&](const int* bases, int count, Section section) {
        const bool output = IsOutput(section);
        auto* heading = new QLabel(output ? "OUTPUT" : "INPUT", box);
        heading->setObjectName("sectionHeading");
        grid->addWidget(heading, 0, col, 1, count, Qt::AlignCenter);
        for (int c = 0; c < count; ++c, ++col) {
            for (int k = 0; k < 8; ++k) {
                const int id = bases[c] + k;
                const auto click = DecodeStripId(id);
                const StripColumn& info = *click->info;
                auto* b = new QPushButton(Q(info.label), box);
                b->setObjectName(QString("strip%1").arg(id));
                b->setAccessibleName(QString::fromStdString(StripButtonName(*click, model)));
                b->setProperty("section", output ? "output" : "input");
                b->setProperty("mute", info.action == StripAction::ToggleInputMute ||
                                           info.action == StripAction::ToggleOutputMute);
                b->setToolTip(QString("%1, %2")
                                  .arg(Q(info.tooltip))
                                  .arg(QString::fromStdString(ChannelName(section, k, model))));
                b->setFocusPolicy(Qt::TabFocus);
                // Wide enough for the word in bold (a muted button), so that muting never clips it
                // or moves its neighbours.
                QFont bold = b->font();
                bold.setBold(true);
                const bool mute = info.action == StripAction::ToggleInputMute ||
                                  info.action == StripAction::ToggleOutputMute;
                const QString widest = mute ? QString(kMutedText) : b->text();
                b->setMinimumWidth(std::max(40, QFontMetrics(bold).horizontalAdvance(widest) + 10));
                b->setMaximumWidth(64);
                connect(b, &QPushButton::clicked, this, [this, id] { SelectStrip(id); });
                // The tooltip is made when it is asked for, with the channel's settings as they are then.
                b->installEventFilter(this);
                strip_[id] = b;
                const bool shown = output || InputSlotUsed(model, k);
                b->setVisible(shown);
                b->setProperty("stripRow", k);
                b->setProperty("stripColumn", col);
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
        rowNames_[k] = label;
    }
    addColumns(kInputOrder, 5, Section::Input);
    addColumns(kOutputOrder, 7, Section::Output);
    grid->setRowStretch(9, 1);
    // Tab goes along each channel's row, as the strip is read.
    std::vector<QPushButton*> order;
    for (const auto& [id, b] : strip_)
        if (!b->isHidden()) order.push_back(b);
    std::sort(order.begin(), order.end(), [](const QPushButton* a, const QPushButton* b) {
        return std::pair(a->property("stripRow").toInt(), a->property("stripColumn").toInt()) <
               std::pair(b->property("stripRow").toInt(), b->property("stripColumn").toInt());
    });
    for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    return box;
}

void CPropertyViewPage::RegisterPopup(StripAction action, ModulePopup* popup) {
    popups_[action] = popup;
    connect(popup, &ModulePopup::activated, this, &CPropertyViewPage::ActivateModule);
    connect(popup, &ModulePopup::edited, this, &CPropertyViewPage::OnEdited);
    popup->SetTitleDecorator([this](const QString& title) { return Q(app_.UnitTitle(title.toStdString())); });
    popup->SetChannel(logic_.CurrentChannelOf(popup->GetSection()));
}

ModulePopup* CPropertyViewPage::Popup(StripAction action) const {
    const auto it = popups_.find(action);
    return it == popups_.end() ? nullptr : it->second;
}

void CPropertyViewPage::ActivateModule(int code) {
    const bool wasInput = logic_.InputSectionActive();
    logic_.ActivateModule(code);
    if (logic_.InputSectionActive() == wasInput) return;
    RefreshStrip();
    RefreshLinkLamps();
    RefreshGraph();
}

void CPropertyViewPage::OpenPopup(StripAction action) {
    if (ModulePopup* popup = Popup(action)) {
        popup->Open(window());
        return;
    }
    const auto& column = *std::find_if(StripColumns().begin(), StripColumns().end(),
                                       [&](const StripColumn& c) { return c.action == action; });
    emit note(QString("%1 %2: editor not available yet.")
                  .arg(Q(column.tooltip))
                  .arg(QString::fromStdString(
                      ChannelTag(column.section, logic_.CurrentChannelOf(column.section), app_.Model()))));
}

void CPropertyViewPage::SelectStrip(int id) {
    const auto click = logic_.SelectStrip(id);
    if (!click) return;
    const Section section = click->info->section;
    // Every editor window of the section shows the clicked channel from now on.
    for (auto& [action, popup] : popups_)
        if (popup->GetSection() == section) popup->SetChannel(click->channel);
    actions_.at(click->info->action)(click->channel);
    RefreshStrip();
    RefreshLinkLamps();
    RefreshGraph();
    if (click->info->action == StripAction::OpenInputPeq || click->info->action == StripAction::OpenOutputPeq) {
        // The window opens on the band the graph has selected, or on band 1: a band is always
        // selected there, so that its fields can be reached and typed in.
        GraphModel& g = graph_->Model();
        if (!g.SelectedBand()) {
            g.SelectBand(g.FirstBand());
            graph_->Invalidate();
        }
        SyncBandSelection();
    }
}

void CPropertyViewPage::RefreshMuteButtons() {
    for (int k = 0; k < 8; ++k) {
        for (Section section : {Section::Input, Section::Output}) {
            QPushButton* b = strip_.at((IsOutput(section) ? 3100 : 2400) + k);
            const bool muted = mute_.Muted({section, k});
            if (b->property("muted").toBool() == muted && !b->text().isEmpty()) continue;
            b->setProperty("muted", muted);
            b->setText(muted ? kMutedText : "Mute");
            Repolish(b);
        }
    }
}

void CPropertyViewPage::RefreshStrip() {
    const bool inputActive = logic_.InputSectionActive();
    for (auto& [id, b] : strip_) {
        const auto click = DecodeStripId(id);
        const bool output = IsOutput(click->info->section);
        const bool selected = click->channel == logic_.CurrentChannelOf(click->info->section);
        const bool active = output != inputActive;
        b->setProperty("selectedChannel", selected);
        b->setProperty("activeSection", active);
        Repolish(b);
    }
    RefreshMuteButtons();
}

void CPropertyViewPage::OnEdited() {
    RefreshGraph();
}

void CPropertyViewPage::OnBandClicked(Section section, int band, bool select) {
    if (IsOutput(section) == logic_.InputSectionActive()) ActivateModule(IsOutput(section) ? 7 : 0);
    graph_->Model().SelectBand(select ? std::optional<int>(graph_->Model().FirstBand() + band)
                                      : std::nullopt);
    graph_->Invalidate();
    SyncBandSelection();
}

void CPropertyViewPage::SyncBandSelection() {
    GraphModel& g = graph_->Model();
    EqPopup* eq = g.InputSection() ? inputEqPopup_ : outputEqPopup_;
    if (!eq) return;
    const auto sel = g.SelectedBand();
    eq->SetSelectedBand(sel ? std::optional<int>(*sel - g.FirstBand()) : std::nullopt);
}

void CPropertyViewPage::RefreshGraphPopups() {
    // Only what is on screen follows a drag; a hidden window is refreshed when the strip opens it.
    for (StripAction a : {StripAction::OpenInputPeq, StripAction::OpenOutputPeq, StripAction::OpenCrossover})
        if (ModulePopup* popup = Popup(a); popup && popup->isVisible()) popup->Refresh();
}

void CPropertyViewPage::ShowOtherOutputs(bool on) {
    graph_->Model().SetShowOtherOutputs(on);
    RefreshGraph();
}

QString CPropertyViewPage::StripTip(const QObject* button) const {
    const QString objectName = button ? button->objectName() : QString();
    if (!objectName.startsWith("strip")) return {};
    const auto click = DecodeStripId(objectName.mid(5).toInt());
    if (!click) return {};
    const int k = click->channel;
    const Section section = click->info->section;
    std::string value;
    switch (click->info->action) {
    case StripAction::OpenInputPeq:
        value = inputEq_.Summary(k);
        break;
    case StripAction::OpenInputGain:
        value = inputGain_.Summary(k);
        break;
    case StripAction::OpenInputDelay:
    case StripAction::OpenOutputDelay:
        value = DelaySummary(app_.Params(), {section, k});
        break;
    case StripAction::OpenRouting:
        value = route_.Summary(k);
        break;
    case StripAction::OpenCrossover:
        value = crossover_.Summary(k);
        break;
    case StripAction::OpenOutputPeq:
        value = outputEq_.Summary(k);
        break;
    case StripAction::OpenOutputGain:
        value = outputGain_.Summary(k);
        break;
    case StripAction::OpenLimiter:
        value = limiter_.Summary(k);
        break;
    case StripAction::OpenCompressor:
        value = compressor_.Summary(k);
        break;
    case StripAction::ToggleInputMute:
    case StripAction::ToggleOutputMute:
        value = mute_.Muted({section, k}) ? "Muted" : "Not muted";
        break;
    }
    std::string name = ChannelName(section, k, app_.Model());
    if (const std::string alias = DisplayName(app_.Params(), {section, k}); !alias.empty())
        name += " " + alias;
    return QString::fromStdString(value + " (" + name + ")\n" + std::string(click->info->tooltip));
}

QPushButton* CPropertyViewPage::StripNeighbour(const QPushButton* from, int rows, int columns) const {
    const int row = from->property("stripRow").toInt(), column = from->property("stripColumn").toInt();
    QPushButton* best = nullptr;
    int bestDistance = 0;
    for (const auto& [id, b] : strip_) {
        if (b->isHidden()) continue;
        const int r = b->property("stripRow").toInt(), c = b->property("stripColumn").toInt();
        // The nearest button that way along the row (or the column), past the gap between sections.
        const int distance = rows != 0 ? (c == column ? (r - row) * rows : -1) : (r == row ? (c - column) * columns : -1);
        if (distance > 0 && (!best || distance < bestDistance)) {
            best = b;
            bestDistance = distance;
        }
    }
    return best;
}

bool CPropertyViewPage::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->objectName().startsWith("strip")) {
        auto* b = static_cast<QPushButton*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        QPushButton* next = nullptr;
        switch (key->key()) {
        case Qt::Key_Left: next = StripNeighbour(b, 0, -1); break;
        case Qt::Key_Right: next = StripNeighbour(b, 0, 1); break;
        case Qt::Key_Up: next = StripNeighbour(b, -1, 0); break;
        case Qt::Key_Down: next = StripNeighbour(b, 1, 0); break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            b->click(); // Enter presses the focused button, as Space does
            return true;
        default:
            return QWidget::eventFilter(watched, event);
        }
        // The arrows move as their direction says, and stop at the strip's edges.
        if (next) next->setFocus(Qt::TabFocusReason);
        return true;
    }
    if (event->type() == QEvent::ToolTip) {
        const QString name = watched->objectName();
        if (name.startsWith("strip")) {
            const auto* help = static_cast<QHelpEvent*>(event);
            QToolTip::showText(help->globalPos(), StripTip(watched),
                               static_cast<QWidget*>(watched));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CPropertyViewPage::RefreshLinkLamps() {
    for (int k = 0; k < 8; ++k) {
        inLinks_[k]->SetLit(logic_.LinkLit(app_.Params(), Section::Input, k));
        outLinks_[k]->SetLit(logic_.LinkLit(app_.Params(), Section::Output, k));
    }
}

void CPropertyViewPage::RefreshGraph() {
    if (logic_.InputSectionActive())
        graph_->Model().LoadInput(app_.Params(), logic_.CurrentInputChannel());
    else
        graph_->Model().LoadOutput(app_.Params(), logic_.CurrentOutputChannel());
    graph_->setAccessibleName("Frequency response graph, " + QString::fromStdString(graph_->Model().ShownChannel()));
    graph_->Invalidate();
    SyncBandSelection();
}

void CPropertyViewPage::RefreshNames() {
    const DeviceModel model = app_.Model();
    const QFontMetrics fm(font());
    for (Section section : {Section::Input, Section::Output}) {
        auto& labels = IsOutput(section) ? outNames_ : inNames_;
        for (int k = 0; k < 8; ++k) {
            if (!labels[k]) continue;
            const QString name = QString::fromStdString(DisplayName(app_.Params(), {section, k}));
            // Two lines always, so that naming a channel does not move the meters.
            const int width = std::max(24, labels[k]->parentWidget()->width() / 8 - 4);
            labels[k]->setText(QString::fromStdString(ChannelLabel(section, k, model)) + "\n" +
                               fm.elidedText(name, Qt::ElideRight, width));
            labels[k]->setToolTip(name.isEmpty()
                                      ? QString()
                                      : QString::fromStdString(ChannelName(section, k, model)) + ": " + name);
        }
    }
    for (int k = 0; k < 8; ++k) {
        QStringList tips;
        for (Section section : {Section::Input, Section::Output}) {
            if (!IsOutput(section) && !InputSlotUsed(model, k)) continue;
            const std::string name = DisplayName(app_.Params(), {section, k});
            if (!name.empty()) tips << QString::fromStdString(ChannelName(section, k, model) + ": " + name);
        }
        rowNames_[k]->setToolTip(tips.join("\n"));
    }
}

void CPropertyViewPage::OpenLinkWindow(Section section) {
    auto* window = new LinkWindow(links_, section, this);
    // Below the meters, left for the inputs and right for the outputs, as the device's own software does.
    const QRect main = window->parentWidget()->window()->geometry();
    window->move(main.left() + (IsOutput(section) ? 600 : 200), main.top() + 265);
    OpenModal(window, [this, section](LinkWindow& done, int result) {
        if (result != QDialog::Accepted) return;
        links_.Confirm(section, done.Rows());
        RefreshAll();
    });
}

void CPropertyViewPage::OpenAliasWindow() {
    auto hold = std::make_shared<LinkController::PollSuspension>();
    if (app_.Connected()) *hold = app_.SuspendPoll();
    auto* window = new AliasWindow(
        alias_, app_.Model(), [this](std::string frame) { app_.SendExchange(std::move(frame)); }, this);
    OpenModal(window, [this, hold](AliasWindow&, int) {
        hold->Release();
        RefreshAll();
    });
}

void CPropertyViewPage::OpenPanelLockWindow() {
    auto hold = std::make_shared<LinkController::PollSuspension>();
    if (app_.Connected()) *hold = app_.SuspendPoll();
    auto* window = new PanelLockWindow(
        panelLock_, [this](std::string frame) { app_.SendExchange(std::move(frame)); }, this);
    connect(&app_, &CQuellmarinApp::verificationChanged, window, &PanelLockWindow::ShowConfirmation);
    OpenModal(window, [hold](PanelLockWindow&, int) { hold->Release(); });
}

void CPropertyViewPage::RefreshAll() {
    RefreshNames();
    RefreshStrip();
    RefreshLinkLamps();
    RefreshGraph();
    for (auto& [action, popup] : popups_) popup->Refresh();
}

void CPropertyViewPage::SetLevels(const LevelFrame& frame) {
    // A level frame still on its way when the connection ended or the device went silent is not
    // shown: the meters show only what a device that answers reports.
    if (app_.State() != LinkState::Connected) return;
    // Several processors on the line: the panel shows the one being edited.
    if (!frame.address.empty() && frame.address != app_.Address()) return;
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
    indicatorTimer_.stop();
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
    if (app_.AnyConnected()) {
        emit note("Processors of the rig are connected: disconnect them first (Device > Disconnect all processors), "
                  "or connect this one from the rig view.");
        return;
    }
    // The handle animation pauses for the time of the scan.
    graph_->HoldAnimation(true);
    scanWindow_->Begin();
    app_.StartScan();
}

namespace {
// Where a device answered, with the kind of a network port spelled out.
QString PortTip(const std::string& port) {
    QString tip = "Answered on the port " + QString::fromStdString(port);
    if (const auto a = ParseNetworkPort(port))
        tip += a->kind == NetworkKind::RawTcp ? " (a network serial server, raw TCP)"
                                              : " (a network serial server, RFC 2217: the line is set by the program)";
    return tip;
}
} // namespace

void CPropertyViewPage::ShowScanResult(const QStringList& lines) {
    const ScanReport& scan = app_.LastScan();
    deviceList_->blockSignals(true);
    deviceList_->clear();
    deviceList_->addItems(lines);
    for (std::size_t i = 0; i < scan.devices.size() && i < static_cast<std::size_t>(deviceList_->count());
         ++i)
        deviceList_->item(static_cast<int>(i))->setToolTip(PortTip(scan.devices[i].port));
    deviceList_->blockSignals(false);
    if (!scan.devices.empty()) noDeviceFound_ = false;
    QStringList problems;
    for (const std::string& p : scan.problems) problems << QString::fromStdString(p);
    scanWindow_->Finish(problems);
    deviceList_->setToolTip(problems.isEmpty() ? QString(kDeviceListTip)
                                               : QString(kDeviceListTip) + "\n" + problems.join("\n"));
    graph_->HoldAnimation(false);
    if (!scan.devices.empty()) {
        emit note(QString("%1 processor(s) found.").arg(scan.devices.size()));
        return;
    }
    QStringList probed;
    for (const std::string& p : scan.usable) probed << QString::fromStdString(p);
    QString where = probed.isEmpty() && problems.isEmpty() ? QString("There is no serial port to probe.")
                    : probed.isEmpty()                     ? QString("No port could be opened.")
                                       : QString("No processor answered on %1.").arg(probed.join(", "));
    if (!problems.isEmpty()) where += "\n" + problems.join("\n") + "\n";
    // What to do comes first: a status bar too narrow for the whole text cuts the end, not the advice.
    const QString hint =
        "No processor found; the built-in virtual processor can be switched on in the Device menu. " + where;
    deviceList_->item(0)->setToolTip(hint);
    emit note(QString(hint).replace('\n', ' ').simplified());
}

void CPropertyViewPage::OfferResend(const QString& why) {
    if (!app_.Connected()) return;
    if (!AskYesNo(this, "Warning", why + "\n\nSend the settings to the device again?")) {
        emit note("The device's settings may differ from the program's.");
        return;
    }
    emit note("Sending the settings to the device again...");
    app_.ResendRecord(this, [this](ReadBack back) {
        if (back == ReadBack::Confirmed)
            emit note("The device confirmed the settings.");
        else
            OfferResend(Q(ReadBackMessage(back)));
    });
}

void CPropertyViewPage::SelectDevice(int row) {
    if (row < 0) return;
    const std::string_view message = app_.Select(deviceList_->item(row)->text().toStdString());
    if (!message.empty()) ShowMessage(this, "Quellmarin", Q(message));
}

void CPropertyViewPage::ConnectFromList() {
    if (noDeviceFound_ || app_.Busy()) return;
    QListWidgetItem* item = deviceList_->currentItem();
    if (!item || item->text().trimmed().startsWith("None")) return;
    if (app_.Connected() && !app_.ChosenJoins()) {
        ShowMessage(this, "Prompt", "Has been connected to device!");
        return;
    }
    OpenModal(new ConnectDialog(item->text().trimmed(), this), [this](ConnectDialog& dialog, int result) {
        if (result == QDialog::Accepted) StartConnect(dialog.Download());
    });
}

void CPropertyViewPage::StartConnect(bool download) {
    if (app_.Busy() || (app_.Connected() && !app_.ChosenJoins())) return;
    if (download) {
        const auto odd = OutOfRangeValues(app_.Params(), app_.Model());
        if (!odd.empty() && !AskYesNo(this, "Warning",
                                      "The settings hold values that no editor sets:\n" +
                                          QString::fromStdString(OutOfRangeSummary(odd)) +
                                          "\n\nSend them to the device as they are?"))
            return;
    }
    emit note(download ? "Writing the state into the processor..." : "Reading the processor's state...");
    app_.StartConnect(download);
}

void CPropertyViewPage::Disconnect() {
    app_.StartDisconnect();
}

void CPropertyViewPage::OnStateChanged(LinkState state) {
    static const std::map<LinkState, QString> buttonText = {
        {LinkState::NotConnected, "Scan device"},     {LinkState::Scanning, "Scanning..."},
        {LinkState::Connecting, "Connecting..."},     {LinkState::Connected, "Disconnect.."},
        {LinkState::Lost, "Disconnect (no reply).."}, {LinkState::Disconnecting, "Disconnecting..."}};
    scanButton_->setText(buttonText.at(state));
    scanButton_->setAccessibleName(state == LinkState::NotConnected ? "Scan device" : "Disconnect");
    scanButton_->setEnabled(!IsBusy(state));
    deviceList_->setEnabled(!IsBusy(state));
    // Meters and lamps show only what a device that answers reports.
    if (state != LinkState::Connected) ResetIndicators();
    if (!HasConnection(state)) warning_->hide();
    // The processor answers again: the warning is out of date, and a passing note says so instead.
    if (state == LinkState::Connected && warning_->isVisible()) {
        warning_->hide();
        emit note("The processor answers again.");
    }
}

} // namespace quellmarin::ui
