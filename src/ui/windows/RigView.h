// The rig view: one row per processor of the rig, with its name (edited in place), its ID and port,
// its state, its program and a compact row of its meters with their clip and limit lamps, and a box
// that puts it into the group edits are made on together. Choosing a row shows that processor on the
// front panel and in every editor window; Connect connects the chosen one (a processor opened from a
// show file is then compared with its settings). The view shows and forwards; the rig lives elsewhere.
#pragma once

#include "model/Records.h"
#include "protocol/Frames.h"

#include <QList>
#include <QString>
#include <QWidget>
#include <vector>

class QPushButton;
class QTableWidget;

namespace quellmarin::ui {

class RigMeters;

class RigView : public QWidget {
    Q_OBJECT
  public:
    struct Row {
        QString name;
        QString idPort;  // "ID 3 · /dev/ttyUSB0"
        QString state;   // "connected", "lost — reconnecting", "not connected"
        QString program; // "01 Main"
        bool inGroup = false;
        bool connected = false;
    };
    enum Column { GroupColumn, NameColumn, IdColumn, StateColumn, ProgramColumn, MetersColumn };

    explicit RigView(DeviceModel model, QWidget* parent = nullptr);
    // Every row anew (the same count keeps the widgets and only changes their texts).
    void SetRows(const std::vector<Row>& rows, int selected);
    void SetLevels(int row, const LevelFrame& frame);
    void ResetLevels(int row);
    int RowCount() const;
    int SelectedRow() const;
    QTableWidget* Table() const { return table_; }
    RigMeters* Meters(int row) const;
    QPushButton* ConnectButton() const { return connect_; }
    // "3 processor(s), 2 connected, group of 3".
    const QString& Summary() const { return summary_; }
    QPushButton* GroupAllButton() const { return groupAll_; }
    QPushButton* NoGroupButton() const { return noGroup_; }
    // Four rows, the header and the buttons.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  signals:
    void unitChosen(int row);
    void renamed(int row, const QString& name);
    // The rows whose group box is ticked.
    void groupChosen(const QList<int>& rows);
    void connectRequested(int row);

  private:
    QList<int> TickedRows() const;
    void RefreshButtons();

    DeviceModel model_;
    QTableWidget* table_ = nullptr;
    QString summary_;
    QPushButton* connect_ = nullptr;
    QPushButton* groupAll_ = nullptr;
    QPushButton* noGroup_ = nullptr;
    std::vector<Row> rows_;
    bool filling_ = false;
};

} // namespace quellmarin::ui
