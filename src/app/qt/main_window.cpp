#include "app/qt/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpacerItem>
#include <algorithm>
#include <initializer_list>
#include <utility>

#include "app/window_design.h"
#include "app/window_messages.h"
#include "app/window_startup.h"
#include "app/qt/window_progress_panel.h"
#include "data/visible_text.h"

namespace kestrova::app {
namespace {

// The shop's fonts where they are installed, else the closest sans serif
// faces of the machine, in that order.
const QStringList kSansSerifFamilies{
    "MS Sans Serif", "Microsoft Sans Serif", "Tahoma", "Liberation Sans", "Arial", "Arimo", "Helvetica", "DejaVu Sans"};
const QStringList kArialFamilies{"Arial", "Liberation Sans", "Arimo", "Helvetica", "DejaVu Sans"};

QFont shopFont(const FontDesign& design) {
  QFont font;
  font.setFamilies(design.face == Face::kArial ? kArialFamilies : kSansSerifFamilies);
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(design.points);
  font.setWeight(design.bold ? QFont::Bold : QFont::Normal);
  return font;
}

// Qt's own mask for an employee number: 9 for a digit, '_' in empty places.
QString qtMask(const char* mask) {
  QString out;
  for (const char* c = mask; *c != 0; ++c) out += *c == '#' ? QChar(u'9') : QChar::fromLatin1(*c);
  return out + ";_";
}


// A face that stands in for the shop's font may be wider or taller than it.
// Rather than cut a caption off, the font of a group of controls that share
// a size is made smaller, a quarter point at a time, until `fits` holds for
// each of them; with the shop's own fonts nothing changes.
template <typename Fits>
void shrinkUntil(std::initializer_list<QWidget*> group, Fits fits) {
  constexpr qreal kSmallest = 6.0;
  const auto allFit = [&] { return std::all_of(group.begin(), group.end(), fits); };
  while (!allFit()) {
    for (QWidget* control : group) {
      QFont font = control->font();
      if (font.pointSizeF() - 0.25 < kSmallest) return;
      font.setPointSizeF(font.pointSizeF() - 0.25);
      control->setFont(font);
    }
  }
}

// An employee box: digits in the # places of ###-##-####. When it takes the
// focus from anything but a click, and when a digit is typed with the caret
// past the last empty place, the caret goes to the first empty place, so the
// digit that is missing is the next one typed.
class MaskedIdBox final : public QLineEdit {
 public:
  explicit MaskedIdBox(QWidget* parent) : QLineEdit(parent) {
    // text() leaves the placeholders of empty places out, so a number not
    // completely entered is never 11 characters.
    setInputMask(qtMask(kEmployeeNumberMask));
  }

 protected:
  void focusInEvent(QFocusEvent* event) override {
    QLineEdit::focusInEvent(event);
    if (event->reason() != Qt::MouseFocusReason) toFirstEmptyPlace();
  }

  void keyPressEvent(QKeyEvent* event) override {
    const QString typed = event->text();
    if (typed.size() == 1 && typed[0].isDigit() && !hasSelectedText() &&
        displayText().indexOf(u'_', cursorPosition()) < 0) {
      toFirstEmptyPlace();
    }
    QLineEdit::keyPressEvent(event);
  }

 private:
  void toFirstEmptyPlace() {
    const qsizetype empty = displayText().indexOf(u'_');
    if (empty >= 0) setCursorPosition(static_cast<int>(empty));
  }
};

// The closing box. Its text is short whatever the count; should the box
// still be taller than the screen (a small screen at a large scale), the
// lines it shows give way one by one, the details keeping them all.
class ClosingBox final : public QMessageBox {
 public:
  ClosingBox(const RunReport& report, QWidget* parent)
      : QMessageBox(report.everyChangeMade() ? NoIcon : Warning, kApplicationTitle, {}, Ok, parent), report_(report) {
    const ClosingBoxText words = closingBoxText(report_);
    setText(QString::fromStdString(words.text));
    if (!words.details.empty()) setDetailedText(QString::fromStdString(words.details));
  }

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    // Room for the title bar, and for the details once they are shown.
    const int titleBar = 2 * fontMetrics().height();
    const int details = detailedText().isEmpty() ? 0 : 8 * fontMetrics().height();
    const int room = screen()->availableGeometry().height() - titleBar - details;
    for (std::size_t shown = kClosingLinesShown; height() > room && shown > 0;) {
      const ClosingBoxText words = closingBoxText(report_, --shown);
      if (detailedText().isEmpty()) setDetailedText(QString::fromStdString(words.details));
      setText(QString::fromStdString(words.text));
    }
  }

 private:
  const RunReport& report_;
};

bool captionFits(const QWidget* control) { return control->sizeHint().width() <= control->width(); }

bool wrappedTextFits(const QWidget* label) { return label->heightForWidth(label->width()) <= label->height(); }

bool percentageFits(const QWidget* panel) {
  const QFontMetrics metrics(panel->font());
  const QRect inside = static_cast<const QFrame*>(panel)->contentsRect();
  // Digits and the percent sign have no descenders: the figure's own ink is
  // what has to fit, with a pixel to spare above and below.
  const QRect ink = metrics.tightBoundingRect("100%");
  return ink.height() + 2 <= inside.height() && ink.width() <= inside.width();
}

std::vector<std::string> utf8Words(const QStringList& words) {
  std::vector<std::string> out;
  for (const QString& word : words) out.push_back(word.toStdString());
  return out;
}

}  // namespace

MainWindow::MainWindow(QStringList commandLine, CombineJournal* journal, QWidget* parent, data::StoreEngine* engine)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      journal_(journal),
      command_(*this, utf8Words(commandLine),
               journal != nullptr  ? journal->engine()
               : engine != nullptr ? *engine
                                   : engine_) {
  setObjectName("Form1");
  setWindowTitle(kApplicationTitle);
  setFont(shopFont(kWindowFont));
  buildControls();
}

MainWindow::~MainWindow() { setWaitPointer(false); }

void MainWindow::buildControls() {
  // Edges are converted rather than sizes, so controls that meet in twips
  // still meet in pixels.
  const qreal xScale = logicalDpiX() / qreal(kTwipsPerInch);
  const qreal yScale = logicalDpiY() / qreal(kTwipsPerInch);
  const auto place = [&](QWidget* control, const Twips& at) {
    const int left = qRound(at.left * xScale);
    const int top = qRound(at.top * yScale);
    control->setGeometry(left, top, qRound((at.left + at.width) * xScale) - left,
                         qRound((at.top + at.height) * yScale) - top);
  };
  setFixedSize(qRound(kClientArea.width * xScale), qRound(kClientArea.height * yScale));

  std::array<QWidget*, kControls.size()> made{};
  for (const ControlDesign& design : kControls) {
    const QString caption = QString::fromUtf8(design.caption);
    QWidget* control = nullptr;
    switch (design.kind) {
      case ControlKind::kOption:
        control = new QRadioButton(caption, this);
        break;
      case ControlKind::kBox:
      case ControlKind::kMaskedBox:
        control = design.kind == ControlKind::kBox ? new QLineEdit(this) : new MaskedIdBox(this);
        break;
      case ControlKind::kButton:
        control = new QPushButton(caption, this);
        break;
      case ControlKind::kLabel: {
        auto* text = new QLabel(caption, this);
        text->setTextFormat(Qt::PlainText);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        control = text;
        break;
      }
      case ControlKind::kPanel:
        control = new ProgressPanel(this);
        control->hide();  // shown by a run only
        break;
    }
    control->setObjectName(design.name);
    control->setFont(shopFont(design.font));
    place(control, design.place);
    made[static_cast<std::size_t>(design.control)] = control;
  }
  const auto keep = [&]<typename Widget>(Control control, Widget** out) {
    *out = static_cast<Widget*>(made[static_cast<std::size_t>(control)]);
  };
  keep(Control::kOptCustomer, &optCustomer_);
  keep(Control::kOptVehicle, &optVehicle_);
  keep(Control::kOptEmployee, &optEmployee_);
  keep(Control::kCmdGo, &cmdGo_);
  keep(Control::kCmdCancel, &cmdCancel_);
  keep(Control::kLabel1, &label1_);
  keep(Control::kLabel2, &label2_);
  keep(Control::kLabel3, &label3_);
  keep(Control::kPanProgress, &panProgress_);
  keep(Control::kLabel4, &label4_);
  for (std::size_t i = 0; i < kIdBoxes.size(); ++i) keep(kIdBoxes[i], &boxes_[i]);

  cmdGo_->setDefault(true);
  // A focused button takes Enter itself; everywhere else Enter means Go.
  cmdCancel_->setAutoDefault(true);
  label3_->setWordWrap(true);
  QPalette grey = label4_->palette();
  grey.setColor(QPalette::WindowText, QColor(128, 128, 128));
  label4_->setPalette(grey);

  shrinkUntil({optCustomer_, optVehicle_, optEmployee_}, captionFits);
  shrinkUntil({label1_, label2_}, captionFits);
  shrinkUntil({label4_}, captionFits);
  shrinkUntil({label3_}, wrappedTextFits);
  shrinkUntil({panProgress_}, percentageFits);

  // Tab follows the design's order of the controls that take the focus.
  QWidget* previous = nullptr;
  for (const ControlDesign& design : kControls) {
    if (design.kind == ControlKind::kLabel || design.kind == ControlKind::kPanel) continue;
    QWidget* next = made[static_cast<std::size_t>(design.control)];
    if (previous != nullptr) setTabOrder(previous, next);
    previous = next;
  }

  optCustomer_->setChecked(true);
  optCustomer_->setFocus();

  connect(cmdGo_, &QPushButton::clicked, this, &MainWindow::go);
  connect(cmdCancel_, &QPushButton::clicked, this, &QWidget::close);
}

void MainWindow::go() {
  if (running_) return;
  running_ = true;
  runFromWindow(command_, *this, journal_, *this);
  running_ = false;
  if (!endRequested_) return;
  close();
  QCoreApplication::quit();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (modifiers == Qt::NoModifier) {
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        cmdGo_->click();
        return;
      case Qt::Key_Escape:
        cmdCancel_->click();
        return;
      default:
        break;
    }
  }
  QWidget::keyPressEvent(event);
}

bool MainWindow::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  // Styles draw the focus only once the keyboard has moved it, and showing
  // a window forgets that it has; a user who starts typing must see where
  // the keys go from the start.
  if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
    setAttribute(Qt::WA_KeyboardFocusChange);
  }
  return handled;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // A run cannot be cut short: the rows it has saved and those it has not
  // yet reached must meet in a state the user is told about.
  if (running_) {
    event->ignore();
    return;
  }
  setWaitPointer(false);
  event->accept();
}

bool MainWindow::customerSelected() const { return optCustomer_->isChecked(); }

bool MainWindow::vehicleSelected() const { return optVehicle_->isChecked(); }

std::string MainWindow::boxText(IdBox which) const { return box(which)->text().toStdString(); }

void MainWindow::setBoxText(IdBox which, const std::string& utf8) {
  // Setting a text moves the caret to its end; a box whose text stays as it
  // was keeps its caret where the user left it.
  const QString text = QString::fromStdString(utf8);
  QLineEdit* edit = box(which);
  if (edit->text() == text) return;
  const int caret = edit->cursorPosition();
  edit->setText(text);
  edit->setCursorPosition(std::min(caret, static_cast<int>(edit->text().size())));
}

void MainWindow::setInstructionVisible(bool visible) {
  label3_->setVisible(visible);
  repaint(label3_->geometry());
}

void MainWindow::setProgressVisible(bool visible) {
  panProgress_->setVisible(visible);
  if (visible) {
    panProgress_->repaint();
  } else {
    repaint(panProgress_->geometry());
  }
  drawWhole();
}

void MainWindow::setProgress(int percent) {
  panProgress_->setPercent(percent);
  drawWhole();
}

void MainWindow::drawWhole() {
  // Twice: what the window system reports uncovered in the first round is
  // queued to be drawn, and drawn in the second.
  for (int round = 0; round < 2; ++round) QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  if (isVisible()) repaint();
}

void MainWindow::setWaitPointer(bool wait) {
  if (wait == waitPointer_) return;
  waitPointer_ = wait;
  if (wait) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void MainWindow::beep() { QApplication::beep(); }

int MainWindow::execMessageBox(QMessageBox& box) {
  box.setTextFormat(Qt::PlainText);
  // The window manager writes the title in its own, often larger, bold face
  // beside the box's icon and buttons: leave room for the whole title in the
  // larger of the fonts Qt knows for titles and text, with room for four
  // buttons of the title bar's height beside it.
  QFont titleFont = QFontDatabase::systemFont(QFontDatabase::TitleFont);
  if (QApplication::font().pointSizeF() > titleFont.pointSizeF()) titleFont = QApplication::font();
  titleFont.setBold(true);
  const QFontMetrics title(titleFont);
  const int titleWidth = title.horizontalAdvance(box.windowTitle()) + 6 * title.height() + 16;
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    // A message box sizes itself to its layout, so the width goes in there.
    grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
  }
  if (waitPointer_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int answer = box.exec();
  if (waitPointer_) QApplication::restoreOverrideCursor();
  drawWhole();
  return answer;
}

void MainWindow::showMessage(const std::string& text, combine::MessageIcon icon) {
  QMessageBox::Icon shown = QMessageBox::NoIcon;
  switch (icon) {
    case combine::MessageIcon::kNone:
      break;
    case combine::MessageIcon::kCritical:
      shown = QMessageBox::Critical;
      break;
    case combine::MessageIcon::kQuestion:
      shown = QMessageBox::Question;
      break;
    case combine::MessageIcon::kExclamation:
    case combine::MessageIcon::kWarning:
      shown = QMessageBox::Warning;
      break;
  }
  QMessageBox box(shown, kApplicationTitle, QString::fromStdString(data::visibleLines(text)), QMessageBox::Ok, this);
  execMessageBox(box);
}

void MainWindow::showClosingMessage(const RunReport& report) {
  ClosingBox box(report, this);
  execMessageBox(box);
}

void MainWindow::promptForDiskette(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, kApplicationTitle, QString::fromStdString(data::visibleLines(text)),
                  QMessageBox::Ok, this);
  execMessageBox(box);
}

bool MainWindow::askYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::Question, kApplicationTitle, QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return execMessageBox(box) == QMessageBox::Yes;
}

void MainWindow::endProgram() { endRequested_ = true; }

}  // namespace kestrova::app
