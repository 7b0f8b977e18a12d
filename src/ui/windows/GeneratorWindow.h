// The "SIGNAL GENERATOR" window: the test tone's frequency (typed, stepped or on the fader) and level,
// and Start/Stop. Every accepted change goes to the device at once; Enter and Escape apply the fields
// and keep the window open.
#pragma once

#include "edit/Generator.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace quellmarin::ui {

class RepeatButton;
class SkinSlider;

class GeneratorWindow : public QDialog {
    Q_OBJECT
  public:
    // `connected`: the settings are applied once at opening.
    GeneratorWindow(EditContext& ctx, bool connected, QWidget* parent);

    Generator& Logic() { return generator_; }
    QLineEdit* FrequencyField() const { return frequency_; }
    QLineEdit* LevelField() const { return level_; }
    SkinSlider* Fader() const { return fader_; }
    RepeatButton* FaderUp() const { return faderUp_; }
    RepeatButton* FaderDown() const { return faderDown_; }
    QToolButton* FrequencyUp() const { return frequencyUp_; }
    QToolButton* FrequencyDown() const { return frequencyDown_; }
    QToolButton* LevelUp() const { return levelUp_; }
    QToolButton* LevelDown() const { return levelDown_; }
    QPushButton* StartStop() const { return startStop_; }

    // Checks the two fields and sends them.
    void Apply();
    QLabel* Confirmation() const { return confirmation_; }
    // What a read of the processor did not confirm: the window says so while the generator is among them.
    void ShowConfirmation(const QStringList& missing);

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void Show(const Generator::Outcome& outcome);
    void MoveFader(int position);
    void StepLevel(int delta);
    void ShowRunning();

    Generator generator_;
    QLineEdit* frequency_;
    QLineEdit* level_;
    SkinSlider* fader_;
    RepeatButton* faderUp_;
    RepeatButton* faderDown_;
    QToolButton* frequencyUp_;
    QToolButton* frequencyDown_;
    QToolButton* levelUp_;
    QToolButton* levelDown_;
    QPushButton* startStop_;
    QLabel* confirmation_;
};

} // namespace quellmarin::ui
