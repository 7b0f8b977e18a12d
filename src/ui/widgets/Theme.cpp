#include "widgets/Theme.h"

namespace quellmarin::ui {

QString StyleSheet() {
    return R"(
QWidget { background: #161b22; color: #dfe5ec; font-size: 10pt; }
QMainWindow, QDialog { background: #12161c; }
QGroupBox { border: 1px solid #2f3844; border-radius: 6px; margin-top: 14px; padding: 6px 4px 4px 4px; }
QGroupBox::title { subcontrol-origin: margin; left: 10px; padding: 0 4px; color: #9fb3c8; font-weight: bold; }
QLabel#sectionHeading { color: #ffc440; font-weight: bold; letter-spacing: 1px; }
QPushButton { background: #232b36; border: 1px solid #3a4654; border-radius: 4px; padding: 3px 6px; }
QPushButton:hover { background: #2c3746; border-color: #5a6f86; }
QPushButton:pressed { background: #1b222b; }
QPushButton:checked { background: #3b6ea0; color: #ffffff; border-color: #8fc1ff; }
QPushButton:focus { border-color: #ffc440; }
QPushButton:disabled { color: #6b7684; }
QPushButton[section] { padding: 3px 2px; }
QPushButton[activeSection="true"] { border-color: #4a6a8c; }
QPushButton[selectedChannel="true"] { background: #2f4a66; color: #ffffff; }
QPushButton[selectedChannel="true"][activeSection="true"] { background: #3b6ea0; border-color: #ffc440; }
QPushButton[mute="true"][muted="true"] { background: #a01f1f; color: #ffffff; border-color: #ff5a4a; font-weight: bold; }
QListWidget { background: #0e1217; border: 1px solid #2f3844; border-radius: 4px; }
QListWidget::item:selected { background: #3b6ea0; color: white; }
QMenuBar { background: #1b222b; }
QMenuBar::item:selected { background: #2f4a66; }
QMenu { background: #1b222b; border: 1px solid #3a4654; }
QMenu::item:selected { background: #3b6ea0; }
QStatusBar { background: #1b222b; color: #b7c4d2; }
QStatusBar QLabel { padding: 0 8px; border-left: 1px solid #2f3844; }
QProgressBar { border: 1px solid #3a4654; border-radius: 4px; text-align: center; background: #0e1217; }
QProgressBar::chunk { background: #3b8c5a; }
QRadioButton, QCheckBox { background: transparent; }
QRadioButton::indicator { width: 12px; height: 12px; border: 2px solid #8fa3b8; border-radius: 8px; background: #0e1217; }
QRadioButton::indicator:checked { border-color: #ffc440; background: qradialgradient(cx:0.5, cy:0.5, radius:0.5, fx:0.5, fy:0.5, stop:0 #ffc440, stop:0.5 #ffc440, stop:0.6 #0e1217, stop:1 #0e1217); }
QRadioButton::indicator:hover, QCheckBox::indicator:hover { border-color: #c8d6e4; }
QRadioButton::indicator:disabled, QCheckBox::indicator:disabled { border-color: #4a5664; }
QRadioButton:focus, QCheckBox:focus { color: #ffffff; }
QCheckBox::indicator { width: 12px; height: 12px; border: 2px solid #8fa3b8; border-radius: 3px; background: #0e1217; }
QCheckBox::indicator:checked { border-color: #ffc440; background: #ffc440; }
QLineEdit, QComboBox, QAbstractSpinBox { border: 1px solid #2f3844; border-radius: 3px; padding: 1px 3px; }
QLineEdit:focus, QComboBox:focus, QAbstractSpinBox:focus { border-color: #ffc440; }
QLineEdit:read-only { border-color: transparent; }
QLineEdit:read-only:focus { border-color: #ffc440; }
QTreeWidget:focus, QListWidget:focus { border-color: #ffc440; }
QToolTip { background: #2c3746; color: #ffffff; border: 1px solid #5a6f86; }
)";
}

} // namespace quellmarin::ui
