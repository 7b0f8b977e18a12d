#include "windows/GeneratorWindow.h"

#include "edit/RecordDiff.h"

#include "widgets/MessageBox.h"
#include "widgets/QText.h"
#include "widgets/Controls.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace quellmarin::ui {

namespace {

QToolButton* Arrow(Qt::ArrowType type, const QString& name, const QString& accessible, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setArrowType(type);
    b->setObjectName(name);
    b->setAccessibleName(accessible);
    b->setAutoRepeat(true);
    b->setAutoRepeatDelay(400);
    b->setAutoRepeatInterval(100);
    return b;
}

} // namespace

GeneratorWindow::GeneratorWindow(EditContext& ctx, bool connected, QWidget* parent)
    : QDialog(parent), generator_(ctx) {
    setObjectName("generatorWindow");
    setWindowTitle(Q(Generator::kTitle));
    setModal(true);
    auto* root = new QHBoxLayout(this);

    auto* faderColumn = new QVBoxLayout;
    faderUp_ = new RepeatButton(QString::fromUtf8("\u25B2"), this);
    faderUp_->setObjectName("generatorFaderUp");
    faderUp_->setAccessibleName("Generator frequency one step higher");
    fader_ = new SkinSlider(Qt::Vertical, this);
    fader_->setObjectName("generatorFader");
    fader_->setAccessibleName("Generator frequency");
    fader_->SetRange(Generator::kFaderTop, Generator::kFaderBottom);
    fader_->setMinimumHeight(220);
    faderDown_ = new RepeatButton(QString::fromUtf8("\u25BC"), this);
    faderDown_->setObjectName("generatorFaderDown");
    faderDown_->setAccessibleName("Generator frequency one step lower");
    auto* faderLabel = new QLabel("Freq.", this);
    faderLabel->setBuddy(fader_);
    faderLabel->setToolTip("The frequency on a fader: up is higher");
    auto* high = new QLabel("20k", this);
    auto* low = new QLabel("20", this);
    faderColumn->addWidget(faderLabel, 0, Qt::AlignHCenter);
    faderColumn->addWidget(high, 0, Qt::AlignHCenter);
    faderColumn->addWidget(faderUp_, 0, Qt::AlignHCenter);
    faderColumn->addWidget(fader_, 1, Qt::AlignHCenter);
    faderColumn->addWidget(faderDown_, 0, Qt::AlignHCenter);
    faderColumn->addWidget(low, 0, Qt::AlignHCenter);
    root->addLayout(faderColumn);

    auto* grid = new QGridLayout;
    frequency_ = new CMyNumEdit(this);
    frequency_->setObjectName("generatorFrequency");
    frequency_->setAccessibleName("Generator frequency in Hz");
    frequency_->setMaxLength(8);
    frequency_->setMinimumWidth(110);
    frequencyUp_ = Arrow(Qt::UpArrow, "generatorFrequencyUp", "Generator frequency step up", this);
    frequencyDown_ = Arrow(Qt::DownArrow, "generatorFrequencyDown", "Generator frequency step down", this);
    auto* frequencySpin = new QVBoxLayout;
    frequencySpin->setSpacing(0);
    frequencySpin->addWidget(frequencyUp_);
    frequencySpin->addWidget(frequencyDown_);
    level_ = new CMyIntEdit(this);
    level_->setObjectName("generatorLevel");
    level_->setAccessibleName("Generator level in dB");
    level_->setMaxLength(5);
    level_->setMinimumWidth(110);
    levelUp_ = Arrow(Qt::UpArrow, "generatorLevelUp", "Generator level one dB up", this);
    levelDown_ = Arrow(Qt::DownArrow, "generatorLevelDown", "Generator level one dB down", this);
    auto* levelSpin = new QVBoxLayout;
    levelSpin->setSpacing(0);
    levelSpin->addWidget(levelUp_);
    levelSpin->addWidget(levelDown_);
    grid->addWidget(new QLabel("Frequency:", this), 0, 0);
    grid->addWidget(frequency_, 0, 1);
    grid->addLayout(frequencySpin, 0, 2);
    grid->addWidget(new QLabel("[20-20000Hz]", this), 0, 3);
    grid->addWidget(new QLabel("Level:", this), 1, 0);
    grid->addWidget(level_, 1, 1);
    grid->addLayout(levelSpin, 1, 2);
    grid->addWidget(new QLabel("[-90 - 0dB]", this), 1, 3);
    startStop_ = new QPushButton(this);
    startStop_->setObjectName("generatorStartStop");
    startStop_->setAccessibleName("Start or stop the test tone");
    startStop_->setMinimumHeight(40);
    startStop_->setAutoDefault(false);
    grid->addWidget(startStop_, 2, 0, 1, 4);
    confirmation_ = new QLabel(this);
    confirmation_->setObjectName("generatorConfirmation");
    confirmation_->setAccessibleName("Generator confirmation");
    confirmation_->setWordWrap(true);
    confirmation_->setStyleSheet("color: #ffb040;");
    confirmation_->hide();
    grid->addWidget(confirmation_, 3, 0, 1, 4);
    grid->setRowStretch(4, 1);
    root->addLayout(grid, 1);

    frequency_->setText(QString::fromStdString(generator_.FrequencyText()));
    level_->setText(QString::fromStdString(generator_.LevelText()));
    fader_->SetPosition(generator_.FaderPosition());
    ShowRunning();
    for (QLineEdit* field : {frequency_, level_}) field->installEventFilter(this);

    connect(fader_, &SkinSlider::moving, this, &GeneratorWindow::MoveFader);
    connect(fader_, &SkinSlider::changed, this, &GeneratorWindow::MoveFader);
    // Up is a higher frequency: a smaller fader position.
    const auto step = [this](int delta) {
        const int p = fader_->Position() + delta;
        if (p < Generator::kFaderTop || p > Generator::kFaderBottom) return;
        fader_->SetPosition(p);
        MoveFader(p);
    };
    connect(faderUp_, &RepeatButton::clicked, this, [step] { step(-1); });
    connect(faderUp_, &RepeatButton::repeat, this, [step] { step(-1); });
    connect(faderDown_, &RepeatButton::clicked, this, [step] { step(+1); });
    connect(faderDown_, &RepeatButton::repeat, this, [step] { step(+1); });
    connect(frequencyUp_, &QToolButton::clicked, this, [step] { step(-1); });
    connect(frequencyDown_, &QToolButton::clicked, this, [step] { step(+1); });
    connect(levelUp_, &QToolButton::clicked, this, [this] { StepLevel(+1); });
    connect(levelDown_, &QToolButton::clicked, this, [this] { StepLevel(-1); });
    connect(startStop_, &QPushButton::clicked, this, [this] {
        Show(generator_.Toggle(frequency_->text().toStdString(), level_->text().toStdString()));
        ShowRunning();
    });

    if (connected) Apply();
}

void GeneratorWindow::Apply() {
    Show(generator_.Apply(frequency_->text().toStdString(), level_->text().toStdString()));
}

void GeneratorWindow::Show(const Generator::Outcome& outcome) {
    if (outcome.sent) {
        frequency_->setText(QString::fromStdString(outcome.frequencyText));
        // A typed frequency moves the fader to its step (a drag's own position is the same step).
        fader_->SetPosition(
            std::clamp(Generator::kFaderSpan - outcome.index, Generator::kFaderTop, Generator::kFaderBottom));
        return;
    }
    if (!outcome.message.empty())
        ShowMessage(this, QString::fromStdString(outcome.caption), QString::fromStdString(outcome.message));
}

void GeneratorWindow::MoveFader(int position) {
    frequency_->setText(QString::fromStdString(Generator::FaderText(position)));
    Apply();
}

void GeneratorWindow::StepLevel(int delta) {
    const auto entry = Generator::ParseLevel(level_->text().toStdString());
    const int db = entry.code ? (*entry.code - 181) / 2 : generator_.LevelDb();
    const int next = std::clamp(db + delta, Generator::kLevelMin, Generator::kLevelMax);
    level_->setText(QString::number(next));
    Apply();
    if (!level_->text().endsWith("dB")) level_->setText(level_->text() + "dB");
}

void GeneratorWindow::ShowRunning() {
    const bool running = generator_.Running();
    startStop_->setText(running ? "Stop" : "Start");
    startStop_->setProperty("running", running);
    startStop_->setToolTip(running ? "The test tone is on; click to stop it"
                                   : "Click to start the test tone");
}

void GeneratorWindow::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
        Apply();
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

bool GeneratorWindow::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            Apply();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void GeneratorWindow::ShowConfirmation(const QStringList& missing) {
    const bool unconfirmed = missing.contains(Q(kGeneratorSetting));
    confirmation_->setText(unconfirmed ? Q(Generator::kUnconfirmed) : QString());
    confirmation_->setVisible(unconfirmed);
    // The window grows to hold the line rather than squeezing its controls.
    if (unconfirmed) resize(size().expandedTo(sizeHint()));
}

} // namespace quellmarin::ui
