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
QToolTip { background: #2c3746; color: #ffffff; border: 1px solid #5a6f86; }
)";
}

} // namespace quellmarin::ui
