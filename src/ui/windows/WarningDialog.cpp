#include "windows/WarningDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quellmarin::ui {

WarningDialog::WarningDialog(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint) {
    setObjectName("warningDialog");
    setWindowTitle("Warning");
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel("Has been disconnect to DEVICE!", this);
    text->setObjectName("warningText");
    layout->addWidget(text);
    auto* ok = new QPushButton("OK", this);
    ok->setAccessibleName("Dismiss the lost-device warning");
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, [this] {
        emit dismissed();
        hide();
    });
}

} // namespace quellmarin::ui
