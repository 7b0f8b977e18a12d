#include "windows/RouteWindow.h"

#include "widgets/MessageBox.h"
#include "widgets/Controls.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quellmarin::ui {

namespace {
// The look of a crosspoint: 1 (the flag set) is "not routed".
constexpr int kRoutedLook = 0, kOpenLook = 1;
} // namespace

RouteWindow::RouteWindow(RouteEditor& editor, DeviceModel model, QWidget* parent)
    : ModulePopup(kNoModuleCode, Section::Output, parent, model), editor_(editor) {
    setObjectName("routeWindow");
    setAccessibleName("Routing");
    setAccessibleDescription("Which inputs feed each output");
    auto* root = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->setSpacing(4);
    auto* caption = new QLabel("Input ", this);
    caption->setObjectName("routeCaption");
    grid->addWidget(caption, 0, 0);
    const std::vector<int> inputs = editor_.InputSlots();
    for (int c = 0; c < int(inputs.size()); ++c) {
        auto* head = new QLabel(QString::fromStdString(editor_.ColumnLabel(inputs[c])), this);
        head->setAlignment(Qt::AlignCenter);
        grid->addWidget(head, 0, 1 + c);
    }
    for (int o = 0; o < kOutputSlots; ++o) {
        grid->addWidget(new QLabel(QString("Output %1:").arg(o + 1), this), 1 + o, 0);
        for (int c = 0; c < int(inputs.size()); ++c) {
            const int slot = inputs[c];
            const QString letter = QString::fromStdString(editor_.ColumnLabel(slot));
            auto* b = new SkinButton(letter, SkinButtonState::Style::Push, this);
            b->setObjectName(QString("route%1%2").arg(o).arg(slot));
            b->setAccessibleName(QString("Input %1 into output %2").arg(letter).arg(o + 1));
            b->setFixedSize(40, 28);
            grid->addWidget(b, 1 + o, 1 + c);
            buttons_[{o, slot}] = b;
            connect(b, &SkinButton::skinClicked, this, [this, b, o, slot] {
                editor_.Toggle(o, slot);
                // The button flips its own look after this handler; the fill follows the record.
                b->SetCheckedFlag(editor_.Routed(o, slot));
                emit edited();
            });
        }
    }
    root->addLayout(grid);
    reset_ = new QPushButton("Reset", this);
    reset_->setObjectName("routeReset");
    reset_->setAccessibleName("Reset the routing to the default");
    root->addWidget(reset_, 0, Qt::AlignRight);
    connect(reset_, &QPushButton::clicked, this, [this] {
        if (!AskYesNo(this, QString::fromUtf8(RouteEditor::kResetCaption.data()),
                      QString::fromUtf8(RouteEditor::kResetQuestion.data())))
            return;
        editor_.Reset();
        Reload();
        emit edited();
    });
}

void RouteWindow::Reload() {
    for (auto& [key, b] : buttons_) {
        const bool routed = editor_.Routed(key.first, key.second);
        b->SetLook(routed ? kRoutedLook : kOpenLook);
        b->SetCheckedFlag(routed);
    }
}

} // namespace quellmarin::ui
