// The window as a user meets it: its start state, its keys, the masked
// employee boxes, and combines driven through it on a sample shop, with the
// modal boxes answered from a timer as a user would answer them.

#include <QApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/drive_settings.h"
#include "app/qt/main_window.h"
#include "app/qt/window_progress_panel.h"
#include "support/scoped_env.h"
#include "support/test_shop.h"

using kestrova::app::MainWindow;
using kestrova::app::ProgressPanel;
using kestrova::testing::ScopedEnv;
using kestrova::testing::TestShop;

namespace {

// What the user saw of one message box, and of the window behind it.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  bool panelVisible = false;
  bool instructionVisible = false;
  QString detailedText;
  QSize size;  // with its details shown, when it has any
};

// Whether a box is wide enough for a title bar to write its title whole:
// in a bold face, beside an icon and three buttons as wide as the bar is high.
bool titleShowsWhole(const SeenBox& seen) {
  QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  titleFont.setBold(true);
  const QFontMetrics title(titleFont);
  return seen.size.width() >= title.horizontalAdvance(seen.title) + 4 * title.height();
}

// The shape the application's pointer has, or -1 for the ordinary pointer.
int pointerShape() {
  const QCursor* cursor = QApplication::overrideCursor();
  return cursor ? cursor->shape() : -1;
}

// Answers every modal message box: with the next of `answers`, else with OK
// (or No where there is no OK).
class BoxAnswerer : public QObject {
 public:
  explicit BoxAnswerer(QWidget* window, QList<QMessageBox::StandardButton> answers = {})
      : window_(window), answers_(std::move(answers)) {
    connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::poll);
    timer_.start(10);
  }

  QList<SeenBox> seen;

 private:
  void poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    SeenBox s;
    s.title = box->windowTitle();
    s.text = box->text();
    s.icon = box->icon();
    s.buttons = box->standardButtons();
    s.defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton()) : QMessageBox::NoButton;
    s.panelVisible = window_->findChild<QWidget*>("panProgress")->isVisible();
    s.instructionVisible = window_->findChild<QWidget*>("Label3")->isVisible();
    s.detailedText = box->detailedText();
    for (QAbstractButton* button : box->buttons()) {
      if (box->buttonRole(button) == QMessageBox::ActionRole) button->click();  // Show Details...
    }
    s.size = box->size();
    seen.append(s);
    QMessageBox::StandardButton answer = s.buttons.testFlag(QMessageBox::Ok) ? QMessageBox::Ok : QMessageBox::No;
    if (!answers_.isEmpty()) answer = answers_.takeFirst();
    box->button(answer)->click();
  }

  QWidget* window_;
  QList<QMessageBox::StandardButton> answers_;
  QTimer timer_;
};

// Every value the progress panel was painted with, and the window's busy
// state at that moment.
struct PanelPaint {
  int percent;
  bool instructionVisible;
  int pointer;
  bool operator==(const PanelPaint&) const = default;
};

class PanelWatcher : public QObject {
 public:
  explicit PanelWatcher(QWidget* window)
      : panel_(window->findChild<ProgressPanel*>("panProgress")), label_(window->findChild<QWidget*>("Label3")) {
    panel_->installEventFilter(this);
  }

  // The values painted, each once however often it was painted.
  QList<int> values() const {
    QList<int> shown;
    for (const PanelPaint& paint : paints)
      if (shown.isEmpty() || shown.last() != paint.percent) shown.append(paint.percent);
    return shown;
  }

  QList<PanelPaint> paints;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == panel_ && event->type() == QEvent::Paint) {
      paints.append({panel_->percent(), label_->isVisible(), pointerShape()});
    }
    return false;
  }

 private:
  ProgressPanel* panel_;
  QWidget* label_;
};

// Runs the application's event loop with `action` as its first event, and
// returns exec()'s result: 0 once the program has been asked to quit, 99
// when nothing asked within 20 seconds.
int runUntilQuit(const std::function<void()>& action) {
  QTimer::singleShot(0, action);
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
  guard.start(20000);
  return QApplication::exec();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  template <typename T>
  static T* control(QWidget& window, const char* name) {
    T* found = window.findChild<T*>(name);
    if (!found) qFatal("no control %s", name);
    return found;
  }
  static QLineEdit* box(QWidget& window, const char* name) { return control<QLineEdit>(window, name); }
  // Combines vehicle 2000002 into 2000001; returns the boxes shown.
  static QList<SeenBox> combineVehicles(QWidget& window) {
    control<QRadioButton>(window, "optVehicle")->click();
    QTest::keyClicks(box(window, "txtVehiFrom"), "2000002");
    QTest::keyClicks(box(window, "txtVehiTo"), "2000001");
    BoxAnswerer answerer(&window);
    QTest::mouseClick(control<QPushButton>(window, "cmdGo"), Qt::LeftButton);
    return answerer.seen;
  }

  static void showWindow(QWidget& window) {
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
  }

 private slots:
  void startState();
  void enterRunsGoFromAnyControlThatDoesNotTakeIt();
  void closeEndsTheProgram_data();
  void closeEndsTheProgram();
  void customerRunReadsOnlyTheCustomerBoxes();
  void employeeBoxesAreMasked_data();
  void employeeBoxesAreMasked();
  void vehicleCombineThroughTheWindow();
  void refusedIdLeavesTheWindowAlone();
  void runThatEndsTheProgramClosesTheWindowAndQuits_data();
  void runThatEndsTheProgramClosesTheWindowAndQuits();
  void wholeWindowIsDrawnThroughARun();
  void closingReportFitsTheScreen();
  void employeeBoxTakesTheMissingDigit_data();
  void employeeBoxTakesTheMissingDigit();
  void focusShowsFromTheStart();
  void messagesNameWhatTheShopKnows_data();
  void messagesNameWhatTheShopKnows();
};

void MainWindowTest::startState() {
  MainWindow window({});
  showWindow(window);

  QCOMPARE(window.objectName(), QString("Form1"));
  QCOMPARE(window.windowTitle(), QString("Kestrova Combining Tool"));
  QVERIFY(control<QRadioButton>(window, "optCustomer")->isChecked());
  QVERIFY(!control<QRadioButton>(window, "optVehicle")->isChecked());
  QVERIFY(!control<QRadioButton>(window, "optEmployee")->isChecked());
  for (const char* name : {"txtCustFrom", "txtCustTo", "txtVehiFrom", "txtVehiTo", "txtEmpFrom", "txtEmpTo"}) {
    QVERIFY2(box(window, name)->text().remove('-').isEmpty(), name);
  }
  QVERIFY(control<QLabel>(window, "Label3")->isVisible());
  QVERIFY(!control<QWidget>(window, "panProgress")->isVisible());
  QCOMPARE(pointerShape(), -1);
  QVERIFY(control<QPushButton>(window, "cmdGo")->isDefault());

  // Place, size and caption of every control; twips converted at the
  // screen's logical resolution.
  struct Expected {
    const char* name;
    QString caption;
    int left, top, width, height;
  };
  const QString instructions =
      "Enter the customer or vehicle 7 digit ID numbers or the emplopees 11 digit SSN to combine.  All WOs will "
      "be referenced to the To number.  The From number can then be deleted.  Click the Go button when ready.";
  const Expected controls[] = {
      {"optCustomer", "Customer", 180, 300, 1095, 255},
      {"txtCustFrom", "", 1320, 300, 1575, 285},
      {"txtCustTo", "", 3120, 300, 1575, 285},
      {"optVehicle", "Vehicle", 200, 600, 1095, 255},
      {"txtVehiFrom", "", 1320, 600, 1575, 285},
      {"txtVehiTo", "", 3120, 600, 1575, 285},
      {"optEmployee", "Employee", 200, 900, 1095, 255},
      {"txtEmpFrom", "", 1320, 900, 1695, 285},
      {"txtEmpTo", "", 3120, 900, 1695, 285},
      {"cmdGo", "&Go", 4020, 1740, 1275, 375},
      {"cmdCancel", "&Close", 4020, 2100, 1275, 375},
      {"Label1", "From", 1800, 60, 420, 195},
      {"Label2", "To", 3720, 60, 375, 255},
      {"Label3", instructions, 120, 1320, 3915, 855},
      {"panProgress", "", 105, 2160, 3855, 315},
      {"Label4", "v5.15", 4920, 60, 435, 195},
  };
  const double xScale = window.logicalDpiX() / 1440.0;
  const double yScale = window.logicalDpiY() / 1440.0;
  const auto near = [](int actual, double expected) { return std::abs(actual - expected) <= 1.0; };
  QVERIFY(near(window.width(), 5400 * xScale) && near(window.height(), 2595 * yScale));
  for (const Expected& e : controls) {
    const QWidget* w = control<QWidget>(window, e.name);
    const QRect g = w->geometry();
    QVERIFY2(near(g.left(), e.left * xScale) && near(g.top(), e.top * yScale) && near(g.width(), e.width * xScale) &&
                 near(g.height(), e.height * yScale),
             e.name);
    QString caption;
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) caption = button->text();
    if (auto* label = qobject_cast<const QLabel*>(w)) caption = label->text();
    QCOMPARE(caption, e.caption);
  }

  // Tab order.
  QStringList order;
  QWidget* w = control<QWidget>(window, "optCustomer");
  do {
    // An option group is one tab stop, its selected button, so the option
    // buttons are in the chain but not all of them take Tab.
    if (w->focusPolicy() != Qt::NoFocus) order << w->objectName();
    w = w->nextInFocusChain();
  } while (w != control<QWidget>(window, "optCustomer"));
  QCOMPARE(order, (QStringList{"optCustomer", "txtCustFrom", "txtCustTo", "optVehicle", "txtVehiFrom", "txtVehiTo",
                               "optEmployee", "txtEmpFrom", "txtEmpTo", "cmdGo", "cmdCancel"}));

  // The shop's fonts are asked for; where the machine's stand-in is larger,
  // the size gives way so that every caption is whole.
  struct Font {
    const char* name;
    const char* family;
    qreal pointSize;
    bool bold;
  };
  const Font fonts[] = {
      {"Form1", "MS Sans Serif", 8.25, true},  {"optCustomer", "MS Sans Serif", 8.25, true},
      {"cmdGo", "MS Sans Serif", 8.25, true},  {"txtEmpFrom", "MS Sans Serif", 8.25, true},
      {"Label1", "MS Sans Serif", 8.25, true}, {"Label3", "MS Sans Serif", 8.25, false},
      {"Label4", "Arial", 8.25, false},        {"panProgress", "MS Sans Serif", 19.5, true},
  };
  for (const Font& f : fonts) {
    const QFont font = f.name == QString("Form1") ? window.font() : control<QWidget>(window, f.name)->font();
    QCOMPARE(font.families().value(0), QString(f.family));
    QVERIFY2(font.pointSizeF() <= f.pointSize && font.pointSizeF() >= 6, f.name);
    QCOMPARE(font.bold(), f.bold);
  }
  for (const char* name : {"optCustomer", "optVehicle", "optEmployee", "Label1", "Label2", "Label4"}) {
    const QWidget* w = control<QWidget>(window, name);
    QVERIFY2(w->sizeHint().width() <= w->width(), name);
  }
  const QLabel* label3 = control<QLabel>(window, "Label3");
  QVERIFY(label3->heightForWidth(label3->width()) <= label3->height());
  QCOMPARE(control<QLabel>(window, "Label4")->palette().color(QPalette::WindowText), QColor(128, 128, 128));
}

void MainWindowTest::enterRunsGoFromAnyControlThatDoesNotTakeIt() {
  TestShop shop;  // an empty folder: every run here is refused before it reads anything
  MainWindow window({});
  showWindow(window);

  // Customer is selected and its boxes are empty, so Go answers with the
  // customer refusal: that box is how we know Go ran.
  struct Press {
    const char* focus;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
  };
  const Press presses[] = {
      {"optCustomer", Qt::Key_Return, Qt::NoModifier},  {"txtCustFrom", Qt::Key_Return, Qt::NoModifier},
      {"txtVehiTo", Qt::Key_Enter, Qt::KeypadModifier}, {"txtEmpFrom", Qt::Key_Return, Qt::NoModifier},
      {"optEmployee", Qt::Key_Return, Qt::NoModifier},  {"cmdGo", Qt::Key_Return, Qt::NoModifier},
      {"txtCustTo", Qt::Key_G, Qt::AltModifier},
  };
  for (const Press& press : presses) {
    QApplication::setActiveWindow(&window);  // back from the previous message box
    QVERIFY(QTest::qWaitForWindowActive(&window));
    BoxAnswerer answerer(&window);
    QWidget* focus = control<QWidget>(window, press.focus);
    focus->setFocus();
    QTest::keyClick(focus, press.key, press.modifiers);
    // An access key presses its button visibly, so its click comes a moment later.
    QTRY_VERIFY2(answerer.seen.size() == 1, press.focus);
    QCOMPARE(answerer.seen[0].text, QString("Not all customer IDs have been entered."));
    QVERIFY2(window.isVisible(), press.focus);
  }
  // The boxes took no Enter of their own.
  QCOMPARE(box(window, "txtCustFrom")->text(), QString());
}

void MainWindowTest::closeEndsTheProgram_data() {
  QTest::addColumn<QString>("focus");
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("modifiers");
  QTest::newRow("Esc in a box") << "txtCustFrom" << int(Qt::Key_Escape) << int(Qt::NoModifier);
  QTest::newRow("Esc on Go") << "cmdGo" << int(Qt::Key_Escape) << int(Qt::NoModifier);
  QTest::newRow("Alt+C") << "txtEmpTo" << int(Qt::Key_C) << int(Qt::AltModifier);
  QTest::newRow("Enter on Close") << "cmdCancel" << int(Qt::Key_Return) << int(Qt::NoModifier);
  QTest::newRow("title bar") << "" << 0 << 0;
}

void MainWindowTest::closeEndsTheProgram() {
  QFETCH(QString, focus);
  QFETCH(int, key);
  QFETCH(int, modifiers);
  MainWindow window({});
  showWindow(window);
  BoxAnswerer answerer(&window);
  const int exitCode = runUntilQuit([&] {
    if (focus.isEmpty()) {
      window.close();
      return;
    }
    QWidget* target = control<QWidget>(window, focus.toLatin1().constData());
    target->setFocus();
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
  });
  QCOMPARE(exitCode, 0);
  QVERIFY(!window.isVisible());
  QVERIFY(answerer.seen.isEmpty());  // nothing asks for confirmation
}

void MainWindowTest::customerRunReadsOnlyTheCustomerBoxes() {
  TestShop shop;
  kestrova::tools::writeSampleShop(shop.folder());
  const std::string before = shop.snapshot("kestrova.mdb") + shop.snapshot("mgmtdata.mdb");
  MainWindow window({});
  showWindow(window);

  QTest::keyClicks(box(window, "txtCustFrom"), "ab00002");
  QTest::keyClicks(box(window, "txtVehiFrom"), "abc");
  QTest::keyClicks(box(window, "txtCustTo"), "1000001");
  QTest::keyClicks(box(window, "txtVehiTo"), "xyz1234567");
  QVERIFY(control<QRadioButton>(window, "optCustomer")->isChecked());

  BoxAnswerer answerer(&window, {QMessageBox::No});
  QTest::mouseClick(control<QPushButton>(window, "cmdGo"), Qt::LeftButton);

  // The vehicle boxes' text would be refused; the run asked its question, so
  // it read the customer boxes, and left the vehicle boxes as typed.
  QCOMPARE(answerer.seen.size(), 1);
  QVERIFY(answerer.seen[0].text.startsWith("The accounts receivable information for the two customers"));
  QCOMPARE(answerer.seen[0].icon, QMessageBox::Question);
  QCOMPARE(answerer.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
  QCOMPARE(answerer.seen[0].defaultButton, QMessageBox::Yes);
  QCOMPARE(answerer.seen[0].title, QString("Kestrova Combining Tool"));
  QCOMPARE(box(window, "txtCustFrom")->text(), QString("AB00002"));
  QCOMPARE(box(window, "txtCustTo")->text(), QString("1000001"));
  QCOMPARE(box(window, "txtVehiFrom")->text(), QString("abc"));
  QCOMPARE(box(window, "txtVehiTo")->text(), QString("xyz1234567"));
  // Answered No: nothing changed, the window never went busy.
  QVERIFY(!control<QWidget>(window, "panProgress")->isVisible());
  QVERIFY(control<QWidget>(window, "Label3")->isVisible());
  QCOMPARE(pointerShape(), -1);
  QVERIFY(shop.snapshot("kestrova.mdb") + shop.snapshot("mgmtdata.mdb") == before);
}

void MainWindowTest::employeeBoxesAreMasked_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("shown");
  QTest::addColumn<bool>("refused");
  QTest::newRow("letters") << "abc"
                           << "--"
                           << "___-__-____" << true;
  QTest::newRow("letters among digits") << "1a2b3"
                                        << "123--"
                                        << "123-__-____" << true;
  QTest::newRow("8 of 9 digits") << "12345678"
                                 << "123-45-678"
                                 << "123-45-678_" << true;
  QTest::newRow("9 digits") << "123456789"
                            << "123-45-6789"
                            << "123-45-6789" << false;
  QTest::newRow("a tenth digit") << "1234567890"
                                 << "123-45-6789"
                                 << "123-45-6789" << false;
}

void MainWindowTest::employeeBoxesAreMasked() {
  QFETCH(QString, typed);
  QFETCH(QString, text);
  QFETCH(QString, shown);
  QFETCH(bool, refused);
  TestShop shop;  // an empty folder
  MainWindow window({});
  showWindow(window);
  QLineEdit* from = box(window, "txtEmpFrom");
  from->setFocus();
  from->home(false);
  QTest::keyClicks(from, typed);
  QCOMPARE(from->text(), text);
  QCOMPARE(from->displayText(), shown);
  QCOMPARE(from->maxLength(), 11);
  if (!refused) return;

  // An incomplete number is refused as the wrong length, without a run.
  QLineEdit* to = box(window, "txtEmpTo");
  to->home(false);
  QTest::keyClicks(to, "111223333");
  QTest::mouseClick(control<QRadioButton>(window, "optEmployee"), Qt::LeftButton);
  PanelWatcher panel(&window);
  BoxAnswerer answerer(&window);
  QTest::mouseClick(control<QPushButton>(window, "cmdGo"), Qt::LeftButton);
  QCOMPARE(answerer.seen.size(), 1);
  QCOMPARE(answerer.seen[0].text, QString("Not all employee IDs have been entered."));
  QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
  QVERIFY(panel.paints.isEmpty());
}

void MainWindowTest::vehicleCombineThroughTheWindow() {
  TestShop shop;
  kestrova::tools::writeSampleShop(shop.folder());
  QVERIFY(std::filesystem::exists(shop.path("ARC2023.arc")) && std::filesystem::exists(shop.path("ARC2024.arc")));
  MainWindow window({});
  showWindow(window);

  QTest::mouseClick(control<QRadioButton>(window, "optVehicle"), Qt::LeftButton);
  QVERIFY(control<QRadioButton>(window, "optVehicle")->isChecked());
  QVERIFY(!control<QRadioButton>(window, "optCustomer")->isChecked());
  QTest::keyClicks(box(window, "txtVehiFrom"), "2000002");
  QTest::keyClicks(box(window, "txtVehiTo"), "2000001");

  PanelWatcher panel(&window);
  BoxAnswerer answerer(&window);
  QTest::mouseClick(control<QPushButton>(window, "cmdGo"), Qt::LeftButton);

  // Each value the procedure set was painted while the run went on, with
  // the window busy.
  QCOMPARE(panel.values(), (QList<int>{0, 20, 40, 60, 80, 100}));
  for (const PanelPaint& paint : panel.paints) {
    QVERIFY(!paint.instructionVisible);
    // The panel shows 0 before the wait pointer is set.
    if (paint.percent > 0) QCOMPARE(paint.pointer, int(Qt::WaitCursor));
  }
  // The common end came before "Done.", and "Done." was the only box.
  QCOMPARE(answerer.seen.size(), 1);
  const SeenBox& done = answerer.seen[0];
  QCOMPARE(done.text, QString("Done."));
  QCOMPARE(done.title, QString("Kestrova Combining Tool"));
  QCOMPARE(done.icon, QMessageBox::NoIcon);
  QCOMPARE(done.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QVERIFY(!done.panelVisible);
  QVERIFY(done.instructionVisible);
  QCOMPARE(pointerShape(), -1);
  QCOMPARE(control<ProgressPanel>(window, "panProgress")->percent(), 100);

  // The From vehicle is left with nothing referring to it, archives included.
  QCOMPARE(shop.db("kestrova.mdb").count("History", "AutoID = '2000002'"), 0);
  QVERIFY(shop.db("kestrova.mdb").count("History", "AutoID = '2000001'") > 0);
  QCOMPARE(shop.db("mgmtdata.mdb").count("Orders", "AutoID = '2000002'"), 0);
  QCOMPARE(shop.db("w_orders.mdb").count("Orders", "AutoID = '2000002'"), 0);
  for (const char* archive : {"ARC2023.arc", "ARC2024.arc"}) {
    QCOMPARE(shop.db(archive).count("Orders", "AutoID = '2000002'"), 0);
    QVERIFY(shop.db(archive).count("Orders", "AutoID = '2000001'") > 0);
  }
}

void MainWindowTest::refusedIdLeavesTheWindowAlone() {
  TestShop shop;
  kestrova::tools::writeSampleShop(shop.folder());
  const std::string before = shop.snapshot("kestrova.mdb");
  MainWindow window({});
  showWindow(window);
  control<QRadioButton>(window, "optVehicle")->click();
  QTest::keyClicks(box(window, "txtVehiFrom"), "200000");
  QTest::keyClicks(box(window, "txtVehiTo"), "2000001 ");

  PanelWatcher panel(&window);
  BoxAnswerer answerer(&window);
  QTest::mouseClick(control<QPushButton>(window, "cmdGo"), Qt::LeftButton);

  QCOMPARE(answerer.seen.size(), 1);  // one message, for the From box
  const SeenBox& refusal = answerer.seen[0];
  QCOMPARE(refusal.text, QString("Not all vehicle IDs have been entered."));
  QCOMPARE(refusal.title, QString("Kestrova Combining Tool"));
  QCOMPARE(refusal.icon, QMessageBox::Critical);
  QCOMPARE(refusal.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QVERIFY(!refusal.panelVisible);
  QVERIFY(refusal.instructionVisible);
  QVERIFY(panel.paints.isEmpty());
  QCOMPARE(control<ProgressPanel>(window, "panProgress")->percent(), 0);
  QVERIFY(!control<QWidget>(window, "panProgress")->isVisible());
  QVERIFY(control<QWidget>(window, "Label3")->isVisible());
  QCOMPARE(pointerShape(), -1);
  QVERIFY(shop.snapshot("kestrova.mdb") == before);
}

void MainWindowTest::runThatEndsTheProgramClosesTheWindowAndQuits_data() {
  QTest::addColumn<QStringList>("commandLine");
  QTest::addColumn<QString>("message");
  QTest::newRow("From employee missing") << QStringList{} << "Unable to locate the From employee in the database.";
  QTest::newRow("test mode without drive C") << QStringList{"--x", "Test", "mode"} << "Test mode cannot switch";
}

void MainWindowTest::runThatEndsTheProgramClosesTheWindowAndQuits() {
  QFETCH(QStringList, commandLine);
  QFETCH(QString, message);
  TestShop shop;
  kestrova::tools::writeSampleShop(shop.folder());
  const std::string before = shop.snapshot("kestrova.mdb") + shop.snapshot("mgmtdata.mdb");
  qunsetenv("KESTROVA_DRIVE_C");
  MainWindow window(commandLine);
  showWindow(window);
  QTest::mouseClick(control<QRadioButton>(window, "optEmployee"), Qt::LeftButton);
  QTest::keyClicks(box(window, "txtEmpFrom"), "999999999");
  QTest::keyClicks(box(window, "txtEmpTo"), "111223333");

  // Only the window's own quit request may end the loop here.
  QApplication::setQuitOnLastWindowClosed(false);
  BoxAnswerer answerer(&window);
  const int exitCode = runUntilQuit([&] { QTest::mouseClick(control<QPushButton>(window, "cmdGo"), Qt::LeftButton); });
  QApplication::setQuitOnLastWindowClosed(true);

  QCOMPARE(exitCode, 0);
  QVERIFY(!window.isVisible());
  QCOMPARE(answerer.seen.size(), 1);  // no "Done."
  QVERIFY2(answerer.seen[0].text.startsWith(message), qPrintable(answerer.seen[0].text));
  QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
  QCOMPARE(pointerShape(), -1);
  QVERIFY(shop.snapshot("kestrova.mdb") + shop.snapshot("mgmtdata.mdb") == before);
}

// The controls of the window painted, in order, and when a box was hidden
// and the panel painted.
class PaintLog : public QObject {
 public:
  explicit PaintLog(QWidget* window) : window_(window) { qApp->installEventFilter(this); }
  ~PaintLog() override { qApp->removeEventFilter(this); }
  QStringList entries;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::Hide && qobject_cast<QMessageBox*>(watched)) entries << "box hidden";
    if (event->type() == QEvent::Paint && widget && widget->parentWidget() == window_) {
      const auto* panel = dynamic_cast<ProgressPanel*>(widget);
      entries << (panel ? "panel " + QString::number(panel->percent()) : widget->objectName());
    }
    return false;
  }
  QWidget* window_;
};

void MainWindowTest::wholeWindowIsDrawnThroughARun() {
  TestShop shop;
  kestrova::tools::writeSampleShop(shop.folder());
  MainWindow window({});
  showWindow(window);
  QTest::keyClicks(box(window, "txtCustFrom"), "1000002");
  QTest::keyClicks(box(window, "txtCustTo"), "1000001");
  QTest::qWait(50);  // the typing is drawn before the log starts

  PaintLog log(&window);
  BoxAnswerer answerer(&window, {QMessageBox::Yes});
  QTest::mouseClick(control<QPushButton>(window, "cmdGo"), Qt::LeftButton);
  QCOMPARE(answerer.seen.size(), 2);

  // Between the confirmation closing and the first pass's value on the
  // panel, every control that shows was drawn again: nothing of the closed
  // box is left on the window while the run goes on.
  const qsizetype closed = log.entries.indexOf("box hidden");
  QVERIFY(closed >= 0);
  const auto firstPass = std::find_if(log.entries.begin() + closed, log.entries.end(), [](const QString& entry) {
    return entry.startsWith("panel ") && entry != "panel 0";
  });
  const QStringList duringRun(log.entries.begin() + closed, firstPass);
  for (const char* name : {"optCustomer", "optVehicle", "optEmployee", "txtCustFrom", "txtCustTo", "txtVehiFrom",
                           "txtVehiTo", "txtEmpFrom", "txtEmpTo", "cmdGo", "cmdCancel", "Label1", "Label2", "Label4"}) {
    QVERIFY2(duringRun.contains(name), name);
  }
}

void MainWindowTest::closingReportFitsTheScreen() {
  TestShop shop;
  kestrova::tools::writeSampleShop(shop.folder());
  ScopedEnv noDiskette{"KESTROVA_DRIVE_A", std::nullopt};
  {
    kestrova::tools::ShopDb management(shop.path("mgmtdata.mdb"));
    for (int i = 1; i <= 40; ++i) {
      management.run("INSERT INTO Orders (OrderNumber, AutoID, Archive) VALUES (?, '2000002', ?)",
                     {"9" + std::to_string(1000 + i), "GONE" + std::to_string(1000 + i)});
    }
  }
  MainWindow window({});
  showWindow(window);
  const QList<SeenBox> seen = combineVehicles(window);
  QVERIFY(!seen.isEmpty());
  const SeenBox& done = seen.last();
  // The box, with its details shown, fits the screen; the whole list is
  // behind Show Details....
  QVERIFY2(done.size.height() <= window.screen()->availableGeometry().height(),
           qPrintable(QString::number(done.size.height())));
  QVERIFY2(done.text.startsWith("Done.\n\n40 archives were not updated"), qPrintable(done.text));
  QCOMPARE(done.icon, QMessageBox::Warning);
  QVERIFY(titleShowsWhole(done));
  for (int i = 1; i <= 40; ++i) QVERIFY(done.detailedText.contains("GONE" + QString::number(1000 + i) + ":"));
}

void MainWindowTest::employeeBoxTakesTheMissingDigit_data() {
  QTest::addColumn<bool>("tabBack");
  QTest::newRow("Enter in the box, the caret stays") << false;
  QTest::newRow("back in the box by Tab") << true;
}

void MainWindowTest::employeeBoxTakesTheMissingDigit() {
  QFETCH(bool, tabBack);
  TestShop shop;  // an empty folder
  MainWindow window({});
  showWindow(window);
  control<QRadioButton>(window, "optEmployee")->click();
  QLineEdit* from = box(window, "txtEmpFrom");
  QTest::keyClicks(box(window, "txtEmpTo"), "111223333");
  from->setFocus();
  QTest::keyClicks(from, "12345678");

  BoxAnswerer answerer(&window);
  QTest::keyClick(from, Qt::Key_Return);
  QCOMPARE(answerer.seen.size(), 1);
  QCOMPARE(answerer.seen[0].text, QString("Not all employee IDs have been entered."));
  QVERIFY(titleShowsWhole(answerer.seen[0]));
  if (tabBack) {
    QApplication::setActiveWindow(&window);
    QWidget* employee = control<QWidget>(window, "optEmployee");
    employee->setFocus();
    QTest::keyClick(employee, Qt::Key_Tab);
  }
  QApplication::setActiveWindow(&window);  // as the window manager does once the box is gone
  QTRY_COMPARE(QApplication::focusWidget(), from);
  QTest::keyClick(from, Qt::Key_9);
  QCOMPARE(from->text(), QString("123-45-6789"));
}

void MainWindowTest::focusShowsFromTheStart() {
  MainWindow window({});
  showWindow(window);
  auto* customer = control<QRadioButton>(window, "optCustomer");
  QVERIFY(customer->hasFocus());
  const QImage focused = customer->grab().toImage();
  customer->clearFocus();
  QVERIFY(!customer->hasFocus());
  QVERIFY2(customer->grab().toImage() != focused, "the focus on Customer does not show");
}

void MainWindowTest::messagesNameWhatTheShopKnows_data() {
  QTest::addColumn<bool>("settingsDriveA");
  QTest::addColumn<bool>("environmentDriveA");  // set to an empty folder
  QTest::addColumn<QString>("expected");        // in the closing box; empty for a plain "Done."
  QTest::newRow("no drive A") << false << false
                              << "ARC2024: ARC2024.arc: there is no such file in the shop's folder; A:ARC2024.arc: "
                                 "there is no drive A: on this computer: put the archive file in the shop's folder, "
                                 "or set up drive A: in the settings file named in the README";
  QTest::newRow("drive A in the settings file") << true << false << "";
  QTest::newRow("the environment wins") << true << true << "A:ARC2024.arc: there is no such file on drive A:";
}

void MainWindowTest::messagesNameWhatTheShopKnows() {
  QFETCH(bool, settingsDriveA);
  QFETCH(bool, environmentDriveA);
  QFETCH(QString, expected);
  TestShop shop;
  kestrova::tools::writeSampleShop(shop.folder());
  std::filesystem::create_directory(shop.path("diskette"));
  std::filesystem::create_directory(shop.path("empty"));
  std::filesystem::rename(shop.path("ARC2024.arc"), shop.path("diskette") / "ARC2024.arc");

  QTemporaryDir settingsHome;
  ScopedEnv settingsFolder{"XDG_CONFIG_HOME", settingsHome.path().toStdString()};
  if (settingsDriveA) {
    std::filesystem::create_directories(settingsHome.path().toStdString() + "/Kestrova");
    std::ofstream(kestrova::app::driveSettingsFile()) << "[drives]\nA=" << shop.path("diskette").string() << "\n";
  }
  kestrova::app::installDriveSettings();
  ScopedEnv driveA{"KESTROVA_DRIVE_A",
                   environmentDriveA ? std::optional<std::string>(shop.path("empty").string()) : std::nullopt};

  MainWindow window({});
  showWindow(window);
  const QList<SeenBox> seen = combineVehicles(window);
  std::filesystem::remove(kestrova::app::driveSettingsFile());
  kestrova::app::installDriveSettings();
  QVERIFY(!seen.isEmpty());
  const SeenBox& done = seen.last();
  if (expected.isEmpty()) {
    QCOMPARE(done.text, QString("Done."));
    QVERIFY(titleShowsWhole(done));
    QCOMPARE(shop.db((shop.path("diskette") / "ARC2024.arc").string()).count("Orders", "AutoID = '2000002'"), 0);
    return;
  }
  QVERIFY2(done.text.contains(expected), qPrintable(done.text));
  // The shop's names, not this computer's folders.
  QVERIFY2(!done.text.contains(QString::fromStdString(shop.folder().string())), qPrintable(done.text));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
