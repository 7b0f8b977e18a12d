#include "windows/FilterImportWindow.h"

#include "widgets/QText.h"
#include "dsp/Scales.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quellmarin::ui {

FilterImportWindow::FilterImportWindow(FilterFile file, ChannelRef channel, DeviceModel model,
                                       QWidget* parent)
    : QDialog(parent), file_(std::move(file)), model_(model) {
    setWindowTitle("Import filters");
    setObjectName("filterImportWindow");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    channel_ = new QComboBox(this);
    channel_->setAccessibleName("Channel to import the filters into");
    for (Section s : {Section::Input, Section::Output})
        for (int k = 0; k < 8; ++k) {
            if (!IsOutput(s) && model == DeviceModel::Ketra && k < 4) continue;
            channel_->addItem(Q(ChannelName(s, k, model)), QVariant::fromValue((IsOutput(s) ? 8 : 0) + k));
            if (ChannelRef{s, k} == channel) channel_->setCurrentIndex(channel_->count() - 1);
        }
    form->addRow("Into:", channel_);
    layout->addLayout(form);

    table_ = new QTableWidget(0, 3, this);
    table_->setAccessibleName("Filters asked for and the device's bands");
    table_->setHorizontalHeaderLabels({"Band", "The file asks", "The device will do"});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    table_->setMinimumSize(620, 250);
    layout->addWidget(table_);

    difference_ = new QLabel(this);
    notes_ = new QLabel(this);
    notes_->setWordWrap(true);
    refusals_ = new QLabel(this);
    refusals_->setWordWrap(true);
    refusals_->setStyleSheet("color: #ff8080; font-weight: bold;"); // readable on the dark theme
    layout->addWidget(difference_);
    layout->addWidget(notes_);
    layout->addWidget(refusals_);

    auto* buttons = new QDialogButtonBox(this);
    import_ = buttons->addButton("Import", QDialogButtonBox::AcceptRole);
    import_->setAccessibleName("Import the filters");
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(channel_, &QComboBox::currentIndexChanged, this, [this] { Replan(); });
    Replan();
}

void FilterImportWindow::Replan() {
    const int code = channel_->currentData().toInt();
    plan_ = PlanImport(file_, {code >= 8 ? Section::Output : Section::Input, code % 8}, model_);
    table_->setRowCount(0);
    for (const PlacedFilter& p : plan_.placed) {
        const int row = table_->rowCount();
        table_->insertRow(row);
        table_->setItem(row, 0, new QTableWidgetItem(QString::number(p.band + 1)));
        table_->setItem(row, 1, new QTableWidgetItem(Q(p.askedText)));
        table_->setItem(row, 2, new QTableWidgetItem(Q(p.deviceText)));
    }
    if (plan_.gainCode) {
        const int row = table_->rowCount();
        table_->insertRow(row);
        table_->setItem(row, 0, new QTableWidgetItem("Gain"));
        table_->setItem(row, 1,
                        new QTableWidgetItem(QString("Preamp %1 dB").arg(*file_.preampDb, 0, 'f', 1)));
        table_->setItem(row, 2,
                        new QTableWidgetItem(QString("%1 dB").arg(GainDb(*plan_.gainCode), 0, 'f', 1)));
    }
    difference_->setText(QString("Largest difference of the summed response, 20 Hz to 20 kHz: %1 dB")
                             .arg(plan_.maxDifferenceDb, 0, 'f', 2));
    QStringList notes;
    for (const std::string& n : plan_.notes) notes << Q(n);
    notes_->setText(notes.join("\n"));
    notes_->setVisible(!notes.isEmpty());
    QStringList refusals;
    for (const std::string& r : plan_.refusals) refusals << Q(r);
    refusals_->setText(refusals.join("\n"));
    refusals_->setVisible(!refusals.isEmpty());
    import_->setText(plan_.NeedsConsent() ? "Import what fits" : "Import");
    import_->setEnabled(!plan_.placed.empty() || plan_.gainCode);
}

} // namespace quellmarin::ui
