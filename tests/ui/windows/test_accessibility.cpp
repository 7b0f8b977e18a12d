// Every window of the program walked as a screen reader or a test robot walks it: each control has
// a name, each button's accessible press does what a mouse click does, and Tab reaches every field.
#include "ui/WindowTest.h"

#include "widgets/Controls.h"
#include "widgets/MessageBox.h"
#include "windows/ModulePopup.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <set>

using namespace quellmarin;
using namespace quellmarin::ui;
using namespace quellmarin::test;

namespace {

const StripAction kEditors[] = {StripAction::OpenInputPeq,  StripAction::OpenInputGain,   StripAction::OpenInputDelay,
                                StripAction::OpenRouting,   StripAction::OpenOutputDelay, StripAction::OpenCrossover,
                                StripAction::OpenOutputPeq, StripAction::OpenOutputGain,  StripAction::OpenLimiter,
                                StripAction::OpenCompressor};

// The commands of the menus that open a window of their own.
const char* const kWindowCommands[] = {"Program List...",       "Save To Device..", "Generator...",
                                       "CH Alias Setting...",   "Pannel Lock Settng...", "Network ports...",
                                       "Virtual processors...", "Contents"};

QString AccessibleName(QWidget* w) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
    return a ? a->text(QAccessible::Name).trimmed() : QString();
}

bool Shown(const QWidget* w, const QWidget* window) { return w->isVisibleTo(window) && w->isEnabled(); }

// The controls a user acts on: buttons, sliders, fields, choices, lists.
bool IsControl(QWidget* w) {
    return qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSlider*>(w) || qobject_cast<SkinSlider*>(w) ||
           qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
           (w->focusPolicy() & Qt::TabFocus);
}

// Controls that are part of another (a spin box's field, a combo box's view, a list's scroll bar, the
// menu bar's overflow button) are named and reached as it is.
bool PartOfAnother(QWidget* w, QWidget* window) {
    if (qobject_cast<QScrollBar*>(w) || w->inherits("QTableCornerButton")) return true;
    for (QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (qobject_cast<QAbstractSpinBox*>(p) || qobject_cast<QComboBox*>(p) || qobject_cast<QMenuBar*>(p))
            return true;
    return w->focusProxy() != nullptr;
}

QStringList UnnamedControls(QWidget* window) {
    QStringList unnamed;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (Shown(w, window) && IsControl(w) && !PartOfAnother(w, window) && AccessibleName(w).isEmpty())
            unnamed << QString("%1 (%2)").arg(w->metaObject()->className(), w->objectName());
    return unnamed;
}

// The fields Tab must reach: every control taking the focus by Tab, a group of radio buttons by its
// checked one (the arrows move within the group).
std::vector<QWidget*> TabStops(QWidget* window) {
    std::vector<QWidget*> stops;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!Shown(w, window) || !(w->focusPolicy() & Qt::TabFocus) || PartOfAnother(w, window)) continue;
        if (auto* radio = qobject_cast<QRadioButton*>(w); radio && radio->autoExclusive() && !radio->isChecked())
            continue;
        stops.push_back(w);
    }
    return stops;
}

// The fields Tab never reaches from the first one, within twice as many presses as there are.
QStringList UnreachedByTab(QWidget* window) {
    const std::vector<QWidget*> stops = TabStops(window);
    if (stops.empty()) return {};
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window)) return {"the window never became active"};
    stops.front()->setFocus(Qt::TabFocusReason);
    std::set<QWidget*> visited;
    for (std::size_t i = 0; i < 2 * stops.size() + 2; ++i) {
        QWidget* focus = QApplication::focusWidget();
        if (!focus) break;
        visited.insert(focus);
        if (QWidget* proxied = focus->parentWidget(); proxied && PartOfAnother(focus, window))
            visited.insert(proxied);
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QStringList unreached;
    for (QWidget* w : stops)
        if (!visited.count(w)) unreached << (AccessibleName(w).isEmpty() ? QString(w->metaObject()->className()) : AccessibleName(w));
    return unreached;
}

// Closes a menu or a question a button opened, so that a walk never waits on one.
class Dismisser : public QObject {
  public:
    explicit Dismisser(QWidget* walked) : walked_(walked) {
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
            if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()); modal && modal != walked_)
                modal->reject();
        });
        timer_.start(20);
    }

  private:
    QPointer<QWidget> walked_;
    QTimer timer_;
};

struct Outcome {
    int frames = 0;
    int clicks = 0;
    int skinClicks = 0;
    bool operator==(const Outcome&) const = default;
};

} // namespace

class TestAccessibility : public WindowTest {
    Q_OBJECT

    // Presses and then clicks every button of `window`; the buttons whose press did not do what the
    // click did, by name. `open` opens the window again after a button closed it.
    QStringList PressesThatDifferFromClicks(QWidget* window, std::vector<std::string>& posted,
                                            const std::function<void()>& open, int& pressed) {
        QStringList differ;
        Dismisser dismisser(window);
        const auto buttons = window->findChildren<QAbstractButton*>();
        for (QPointer<QAbstractButton> b : buttons) {
            if (!window->isVisible()) open();
            if (!b || !Shown(b, window)) continue;
            const QString name = AccessibleName(b).isEmpty() ? b->metaObject()->className() + QString(" ") + b->objectName() : AccessibleName(b);
            const auto act = [&](const std::function<void()>& how) {
                QSignalSpy clicks(b.data(), &QAbstractButton::clicked);
                std::unique_ptr<QSignalSpy> skin;
                if (auto* s = qobject_cast<SkinButton*>(b.data())) skin = std::make_unique<QSignalSpy>(s, &SkinButton::skinClicked);
                posted.clear();
                how();
                // An accessible press clicks after a short animation of the button going down.
                QTest::qWaitFor([&] { return !clicks.isEmpty() || !b; }, 400);
                QApplication::processEvents();
                return Outcome{int(posted.size()), int(clicks.size()), skin ? int(skin->size()) : 0};
            };
            const Outcome press = act([&] { PressAccessibly(b); });
            if (!window->isVisible()) open();
            if (!b || !Shown(b, window)) continue;
            const Outcome click = act([&] { QTest::mouseClick(b, Qt::LeftButton); });
            ++pressed;
            if (!(press == click))
                differ << QString("%1: press %2 frames %3 clicks %4 skin, click %5/%6/%7")
                              .arg(name)
                              .arg(press.frames)
                              .arg(press.clicks)
                              .arg(press.skinClicks)
                              .arg(click.frames)
                              .arg(click.clicks)
                              .arg(click.skinClicks);
        }
        return differ;
    }

  private slots:
    void everyEditorButtonDoesOnAnAccessiblePressWhatAClickDoes() {
        VirtualProgram& program = Program();
        std::vector<std::string> posted;
        CollectPosts(program.app, posted);
        SetQuestionHandler([](QWidget*, const QString&, const QString&) { return false; });
        int pressed = 0;
        QStringList differ;
        for (StripAction action : kEditors) {
            ModulePopup* popup = program.Page()->Popup(action);
            QVERIFY(popup);
            const auto open = [&] { popup->Open(&program.frame); };
            open();
            QVERIFY(popup->isVisible());
            differ << PressesThatDifferFromClicks(popup, posted, open, pressed);
            popup->close();
        }
        qInfo("%d buttons of the editor windows pressed, %lld did not do what a click does", pressed,
              static_cast<long long>(differ.size()));
        QVERIFY2(differ.isEmpty(), qPrintable(differ.join("\n")));
        QVERIFY(pressed > 100);
    }

    void everyControlOfEveryWindowHasAName() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectToVirtual(program.app));
        QStringList unnamed;
        unnamed << UnnamedControls(&program.frame);
        for (StripAction action : kEditors) {
            ModulePopup* popup = program.Page()->Popup(action);
            popup->Open(&program.frame);
            for (const QString& u : UnnamedControls(popup)) unnamed << popup->objectName() + ": " + u;
            popup->close();
        }
        for (const char* command : kWindowCommands) {
            Command(program.frame, command)->trigger();
            QPointer<QDialog> shown = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY2(shown, command);
            for (const QString& u : UnnamedControls(shown)) unnamed << QString(command) + ": " + u;
            shown->reject();
            QTRY_VERIFY(shown.isNull());
        }
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join("\n")));
    }

    void tabReachesEveryFieldOfEveryWindow() {
        VirtualProgram& program = Program();
        QVERIFY(ConnectToVirtual(program.app));
        program.frame.show();
        QStringList unreached;
        for (StripAction action : kEditors) {
            ModulePopup* popup = program.Page()->Popup(action);
            popup->Open(&program.frame);
            for (const QString& u : UnreachedByTab(popup)) unreached << popup->objectName() + ": " + u;
            popup->close();
        }
        for (const char* command : kWindowCommands) {
            Command(program.frame, command)->trigger();
            QPointer<QDialog> shown = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY2(shown, command);
            for (const QString& u : UnreachedByTab(shown)) unreached << QString(command) + ": " + u;
            shown->reject();
            QTRY_VERIFY(shown.isNull());
        }
        QVERIFY2(unreached.isEmpty(), qPrintable(unreached.join("\n")));
    }
};

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
