// Device > Network ports...: the ports behind network serial servers that the scan probes with the
// local ones. Each entry is "host:port" with its kind (raw TCP, or Telnet with COM-port control);
// what is typed is checked before it enters the list, and the reason is shown when it cannot.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace quellmarin::ui {

class NetworkPortsWindow : public QDialog {
    Q_OBJECT
  public:
    NetworkPortsWindow(const std::vector<std::string>& ports, QWidget* parent);

    // The list as it stands, in port names ("tcp://10.0.0.7:4001").
    std::vector<std::string> Ports() const;
    // Adds what the address field holds, with the kind chosen (or the scheme typed); false, with the
    // reason shown, when it cannot be added.
    bool AddTyped();
    void RemoveSelected();

    QLineEdit* AddressField() const { return address_; }
    QComboBox* KindChoice() const { return kind_; }
    QTreeWidget* List() const { return list_; }
    QString Message() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void AddRow(const std::string& name);
    void Refresh();

    QTreeWidget* list_;
    QLineEdit* address_;
    QComboBox* kind_;
    QPushButton* add_;
    QPushButton* remove_;
    QLabel* message_;
};

} // namespace quellmarin::ui
