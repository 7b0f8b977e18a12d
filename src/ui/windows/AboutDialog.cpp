#include "windows/AboutDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quellmarin::ui {

AboutDialog::AboutDialog(const QString& versionLine, QWidget* parent) : QDialog(parent) {
    setObjectName("aboutDialog");
    setWindowTitle("About Quellmarin");
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(versionLine, this);
    title->setObjectName("aboutVersion");
    QFont f = title->font();
    f.setPointSizeF(f.pointSizeF() + 3);
    f.setBold(true);
    title->setFont(f);
    layout->addWidget(title);
    layout->addWidget(new QLabel("Control program of the Quellmarin loudspeaker processor.", this));
    auto* ok = new QPushButton("OK", this);
    ok->setAccessibleName("Close the About window");
    layout->addWidget(ok, 0, Qt::AlignRight);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace quellmarin::ui
