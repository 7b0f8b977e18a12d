// The equaliser window of one input or output: a button per band, the band's type, frequency, Q and
// level with spin arrows, and the "PEQ" on/off switch. Which band is selected belongs to the graph;
// the front panel keeps the two in step.
#pragma once

#include "edit/EqEditor.h"
#include "windows/ModulePopup.h"

#include <optional>
#include <vector>

class QComboBox;

namespace quellmarin::ui {

class CMyNumEdit;
class RepeatButton;
class SkinButton;

class EqPopup : public ModulePopup {
    Q_OBJECT
  public:
    EqPopup(EqEditor& editor, DeviceModel model, QWidget* parent);

    // The band selected in the graph (band number within the channel), or none.
    void SetSelectedBand(std::optional<int> band);
    std::optional<int> SelectedBand() const { return selected_; }

    SkinButton* BandButton(int band) const { return bandButtons_.at(band); }
    SkinButton* Switch() const { return switch_; }
    QComboBox* TypeList() const { return type_; }
    CMyNumEdit* Field(BandField f) const { return fields_.at(int(f)); }
    RepeatButton* Spin(BandField f, bool up) const { return (up ? ups_ : downs_).at(int(f)); }

  signals:
    // A band button was clicked: select that band, or (a selected band's button) none.
    void bandClicked(int band, bool select);

  protected:
    QString TitleFor(int channel) const override;
    void Reload() override;

  private:
    void BandButtonClicked(int band);
    void ShowBand();
    void Entered();

    EqEditor& editor_;
    std::optional<int> selected_;
    int clicking_ = -1; // the band button whose click is being handled: its look flips by itself
    std::vector<SkinButton*> bandButtons_;
    SkinButton* switch_;
    QComboBox* type_;
    std::vector<CMyNumEdit*> fields_;
    std::vector<RepeatButton*> ups_, downs_;
};

} // namespace quellmarin::ui
