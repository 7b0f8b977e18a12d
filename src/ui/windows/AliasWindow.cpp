#include "windows/AliasWindow.h"

#include "widgets/Controls.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace quellmarin::ui {

AliasWindow::AliasWindow(AliasEditor& editor, DeviceModel model, std::function<void(std::string)> send,
                         QWidget* parent)
    : QDialog(parent), editor_(editor), send_(std::move(send)) {
    setObjectName("aliasWindow");
    setWindowTitle("Alias Setting");
    setModal(true);
    auto* root = new QHBoxLayout(this);
    for (bool output : {false, true}) {
        auto* group = new QGroupBox(output ? "Output Alias" : "Input Alias", this);
        auto* grid = new QGridLayout(group);
        int row = 0;
        for (int k = 0; k < 8; ++k) {
            if (!output && !InputSlotUsed(model, k)) continue;
            const ChannelRef c{output ? Section::Output : Section::Input, k};
            const int index = AliasEditor::IndexOf(c);
            const QString label = output ? QString::number(k + 1)
                                         : QString(QChar('A' + k - (model == DeviceModel::Ketra ? 4 : 0)));
            auto* field = new CMyTextEdit(5, group);
            field->setMaxLength(kAliasLength);
            field->setObjectName(QString("alias%1").arg(index));
            field->setAccessibleName(QString::fromStdString(ChannelName(c.section, k, model)) +
                                     " alias name");
            field->setText(QString::fromStdString(editor_.FieldText(index)));
            field->setMinimumWidth(170);
            grid->addWidget(new QLabel(label, group), row, 0);
            grid->addWidget(field, row, 1);
            fields_[index] = field;
            ++row;
            // Leaving the field stores and sends its name, changed or not.
            connect(field, &QLineEdit::editingFinished, this, [this, index, field] {
                if (const auto frame = editor_.Leave(index, field->text().toStdString()); frame && send_)
                    send_(*frame);
            });
        }
        root->addWidget(group);
    }
}

} // namespace quellmarin::ui
