#include "windows/VirtualProcessorsWindow.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

namespace quellmarin::ui {

VirtualProcessorsWindow::VirtualProcessorsWindow(std::vector<int> ids, int most, bool ownLines, QWidget* parent)
    : QDialog(parent), ids_(std::move(ids)) {
    setObjectName("virtualProcessorsWindow");
    setWindowTitle("Virtual processors");
    setAccessibleName("Virtual processors");
    setModal(true);
    auto* root = new QVBoxLayout(this);
    auto* intro = new QLabel("Several virtual processors share the port \"virtual\" as units on one serial line "
                             "do: each answers only to its own device ID. Scan to find them.",
                             this);
    intro->setWordWrap(true);
    root->addWidget(intro);

    auto* form = new QFormLayout;
    count_ = new QSpinBox(this);
    count_->setObjectName("virtualProcessorCount");
    count_->setAccessibleName("Number of virtual processors on the port virtual");
    count_->setRange(1, most);
    count_->setValue(std::clamp(static_cast<int>(ids_.size()), 1, most));
    form->addRow("&Processors:", count_);
    ownLines_ = new QCheckBox("Each on a line of its own (virtual, virtual-2, ...)", this);
    ownLines_->setObjectName("virtualOwnLines");
    ownLines_->setAccessibleName("Each virtual processor on a line of its own");
    ownLines_->setToolTip("As units on several adapters: each line has its own worker and runs beside the others");
    ownLines_->setChecked(ownLines);
    form->addRow(QString(), ownLines_);
    idsLabel_ = new QLabel(this);
    idsLabel_->setObjectName("virtualProcessorIds");
    form->addRow("Device IDs:", idsLabel_);
    root->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName("Use this number of virtual processors");
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName("Keep the virtual processors as they are");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    root->addWidget(buttons);

    connect(count_, &QSpinBox::valueChanged, this, [this] { ShowIds(); });
    ShowIds();
    setMinimumWidth(380);
}

int VirtualProcessorsWindow::Count() const {
    return count_->value();
}

bool VirtualProcessorsWindow::OwnLines() const {
    return ownLines_->isChecked();
}

QString VirtualProcessorsWindow::IdsText() const {
    // The first keeps its ID; those added take the lowest free ones, as the line will give them.
    std::vector<int> ids(ids_.begin(), ids_.begin() + std::min<std::size_t>(ids_.size(), Count()));
    if (ids.empty()) ids.push_back(1);
    while (static_cast<int>(ids.size()) < Count()) {
        int id = 1;
        while (std::find(ids.begin(), ids.end(), id) != ids.end()) ++id;
        ids.push_back(id);
    }
    QStringList parts;
    for (int id : ids) parts << QString::number(id);
    return parts.join(", ");
}

void VirtualProcessorsWindow::ShowIds() {
    idsLabel_->setText(IdsText());
    idsLabel_->setAccessibleName("Device IDs of the virtual processors: " + IdsText());
}

} // namespace quellmarin::ui
