#include "widgets/ToneIndicator.h"

#include "widgets/Lamp.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace quellmarin::ui {

ToneIndicator::ToneIndicator(QWidget* parent) : QWidget(parent) {
    setObjectName("toneIndicator");
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(6);
    lamp_ = new Lamp(Lamp::Status, this);
    lamp_->SetLit(true);
    lamp_->setAccessibleName("Test tone running");
    text_ = new QLabel(this);
    text_->setObjectName("toneText");
    text_->setStyleSheet("color: #ff6060; font-weight: bold;");
    text_->setAccessibleName("Test tone");
    stop_ = new QPushButton("Stop", this);
    stop_->setObjectName("toneStop");
    stop_->setAccessibleName("Stop the test tone");
    stop_->setToolTip("Stop the processor's signal generator");
    stop_->setAutoDefault(false);
    row->addWidget(lamp_);
    row->addWidget(text_);
    row->addWidget(stop_);
    connect(stop_, &QPushButton::clicked, this, &ToneIndicator::stopRequested);
    hide();
}

void ToneIndicator::Show(const QString& tone) {
    text_->setText(tone);
    text_->setAccessibleDescription(tone);
    setVisible(!tone.isEmpty());
}

QString ToneIndicator::Text() const {
    return isHidden() ? QString() : text_->text();
}

} // namespace quellmarin::ui
