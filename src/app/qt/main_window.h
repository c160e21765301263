// MainWindow: Form1, the program's one window and the window face of the
// combine command.
//
// It holds the option buttons that choose the kind, the six ID boxes, Go and
// Close, the labels and the progress panel, laid out in twips converted at
// the screen's logical resolution, so the window keeps its proportions on
// any screen. Go (also Enter from any control that does not take Enter
// itself, and Alt+G) runs the combine command; Close (also Esc, Alt+C and
// the title bar) ends the program. No combining happens here: the window
// only carries out what the command asks of its user interface.
//
// Ending the program is closing the window and asking the application to
// quit; both happen once the run that asked for it has returned.

#pragma once

#include <QStringList>
#include <QWidget>
#include <array>

#include "app/combine_command.h"
#include "app/combine_journal.h"
#include "app/user_interface.h"
#include "data/sqlite_store.h"

class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class QRadioButton;

namespace kestrova::app {

class ProgressPanel;

class MainWindow final : public QWidget, public UserInterface, public IdBoxes {
  Q_OBJECT

 public:
  // `commandLine` is the program's arguments without its own path; the
  // command looks in it for test mode at each click on Go. With a journal,
  // every row a combine changes is journaled first, and each run recorded;
  // the journal must outlive the window. `engine` reaches the shop's files
  // when there is no journal (default: the SQLite store); it must outlive
  // the window.
  explicit MainWindow(QStringList commandLine, CombineJournal* journal = nullptr, QWidget* parent = nullptr,
                      data::StoreEngine* engine = nullptr);
  ~MainWindow() override;

  // IdBoxes
  bool customerSelected() const override;
  bool vehicleSelected() const override;
  std::string boxText(IdBox box) const override;
  void setBoxText(IdBox box, const std::string& text) override;

  // UserInterface
  void setInstructionVisible(bool visible) override;
  void setProgressVisible(bool visible) override;
  void setWaitPointer(bool wait) override;
  void setProgress(int percent) override;
  void beep() override;
  void showMessage(const std::string& text, combine::MessageIcon icon) override;
  void showClosingMessage(const RunReport& report) override;
  void promptForDiskette(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  void endProgram() override;

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  void go();

 private:
  void buildControls();
  QLineEdit* box(IdBox which) const { return boxes_[static_cast<std::size_t>(which)]; }
  // Runs a modal box, wide enough for its title; the pointer is the
  // ordinary arrow while it is up.
  int execMessageBox(QMessageBox& box);
  // A run does not return to the event loop, so what is left to draw (the
  // place of a box that closed, the panel) is drawn here; clicks and keys
  // still wait, since a run takes none.
  void drawWhole();

  data::SqliteEngine engine_;
  CombineJournal* journal_;
  CombineCommand command_;
  bool running_ = false;
  bool endRequested_ = false;
  bool waitPointer_ = false;

  QRadioButton* optCustomer_ = nullptr;
  QRadioButton* optVehicle_ = nullptr;
  QRadioButton* optEmployee_ = nullptr;
  std::array<QLineEdit*, 6> boxes_{};
  QPushButton* cmdGo_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
  QLabel* label1_ = nullptr;
  QLabel* label2_ = nullptr;
  QLabel* label3_ = nullptr;
  ProgressPanel* panProgress_ = nullptr;
  QLabel* label4_ = nullptr;
};

}  // namespace kestrova::app
