#include "app/gui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSocketNotifier>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

#include "app/gui/about_dialog.h"
#include "app/gui/dialog_units.h"
#include "app/gui/kiln_resources.h"
#include "app/gui/language_text.h"
#include "app/gui/retext_window.h"
#include "i18n/string_table.h"

namespace kiln::app {

namespace {

// Template 102: 223 by 165 dialog units.
constexpr int kDialogWidth = 223;
constexpr int kDialogHeight = 165;

// A push button whose caption wraps onto further lines, as a multi-line button does.
class MultiLineButton final : public QPushButton {
 public:
  using QPushButton::QPushButton;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, caption);
  }
};

template <typename Widget>
Widget* Control(QWidget* dialog, const char* id, Widget* widget, int x, int y, int cx, int cy) {
  widget->setParent(dialog);
  if (id != nullptr) widget->setObjectName(QString::fromLatin1(id));
  return PlaceInDialog(widget, x, y, cx, cy);
}

QLabel* Label(QWidget* dialog, const char* id, const char* text, Qt::Alignment align, int x, int y,
              int cx, int cy) {
  auto* label = Control(dialog, id, new QLabel(QString::fromLatin1(text)), x, y, cx, cy);
  // Texts from the printer and Kiln.ini are shown as they are, never read as markup.
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(align | Qt::AlignTop);
  return label;
}

}  // namespace

MainWindow::MainWindow(AppSession& session, WindowServices services, QWidget* parent)
    : QDialog(parent),
      session_(session),
      tasks_([this] { QMetaObject::invokeMethod(this, "RunQueuedTasks", Qt::QueuedConnection); }) {
  setWindowTitle(QStringLiteral("Kiln"));
  setWindowIcon(KilnIcon());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  BuildControls();
  controller_ = std::make_unique<MainWindowController>(session_, *this, std::move(services));
}

MainWindow::~MainWindow() {
  // The worker may still be waiting for this thread: serve it until its end is handled.
  // An evaluation still running stops after its transfer under way.
  controller_->StopEvaluation();
  while (controller_->WorkerRunning() || controller_->Evaluating()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    RunQueuedTasks();
  }
  tasks_.Close();
  controller_.reset();
}

void MainWindow::BuildControls() {
  SizeDialog(this, kDialogWidth, kDialogHeight);

  Control(this, nullptr, new QGroupBox, 7, 2, 158, 61);
  statusFrame_ = Control(this, nullptr, new QGroupBox, 7, 69, 158, 55);

  start_ = Control(this, "1", new QPushButton(QStringLiteral("START")), 173, 6, 43, 39);
  start_->setDefault(true);
  start_->setAutoDefault(true);
  exit_ = Control(this, "2", new QPushButton(QStringLiteral("Exit")), 173, 85, 42, 38);
  colourMode_ = Control(this, "1031", new MultiLineButton(QStringLiteral("Change Color Mode")), 173,
                        51, 43, 29);
  colourMode_->hide();

  Label(this, nullptr, "Model:", Qt::AlignRight, 12, 12, 27, 8);
  model_ = Label(this, "1003", "", Qt::AlignHCenter, 43, 12, 116, 11);
  Label(this, nullptr, "New Version:", Qt::AlignRight, 9, 34, 65, 8);
  packageVersion_ = Label(this, "1004", "", Qt::AlignHCenter, 22, 48, 50, 11);
  currentVersionLabel_ = Label(this, "1019", "Current Version:", Qt::AlignRight, 98, 33, 60, 8);
  currentVersionLabel_->installEventFilter(this);
  currentVersion_ = Label(this, "1005", "N/A", Qt::AlignHCenter, 108, 47, 50, 11);
  status_ = Label(this, "1001", "", Qt::AlignLeft, 13, 80, 148, 38);
  status_->setWordWrap(true);
  animation_ = Control(this, "1002", new BurningAnimation, 9, 130, 155, 28);
  QLabel* below = Label(this, "1000", "", Qt::AlignLeft, 168, 126, 49, 33);

  windowSize_ = size();
  statusRect_ = status_->geometry();
  statusFrameRect_ = statusFrame_->geometry();
  belowStatus_ = {{animation_, animation_->geometry()}, {below, below->geometry()}};

  connect(start_, &QPushButton::clicked, this, [this] { controller_->OnStart(); });
  connect(exit_, &QPushButton::clicked, this, &MainWindow::reject);
  connect(colourMode_, &QPushButton::clicked, this, &MainWindow::OnChangeColourMode);
}

bool MainWindow::Initialise(const std::string& programFolder, const MonitorOpener& openMonitor) {
  initialised_ = true;
  const bool found = LocateConfig(session_, programFolder, [this] {
    RetextWindow(this, session_.language, session_.languageTag.view());
  });
  if (found && openMonitor) WatchDevices(openMonitor());
  controller_->Initialise(found);
  return found;
}

void MainWindow::SetMaintenanceDialogs(MaintenanceDialogs dialogs) {
  controller_->SetMaintenanceDialogs(std::move(dialogs));
}

void MainWindow::WatchDevices(std::unique_ptr<platform::DeviceMonitor> monitor) {
  delete deviceNotifier_;
  deviceNotifier_ = nullptr;
  monitor_ = std::move(monitor);
  if (!monitor_) return;  // no notifications: the window still works, it just does not follow
  deviceNotifier_ = new QSocketNotifier(monitor_->fd(), QSocketNotifier::Read, this);
  connect(deviceNotifier_, &QSocketNotifier::activated, this, &MainWindow::OnDeviceEvents);
}

void MainWindow::OnDeviceEvents() {
  while (const auto event = monitor_->NextEvent()) {
    controller_->OnDeviceChange(event->kind == platform::DeviceEvent::Kind::kArrival
                                    ? DeviceChange::kArrival
                                    : DeviceChange::kRemovalComplete);
  }
}

void MainWindow::OnChangeColourMode() {
  if (!colourModeChange_) return;
  controller_->ChangeColourMode([this](int entry) { return colourModeChange_(this, entry); });
}

QString MainWindow::WidgetText(const char* bytes) const {
  return DecodeLanguageText(bytes != nullptr ? bytes : "", session_.languageTag.view());
}

void MainWindow::ShowStatus(const char* text) {
  status_->setText(WidgetText(text));
  FitStatus();
}

void MainWindow::FitStatus() {
  const int grow = std::max(0, status_->heightForWidth(statusRect_.width()) - statusRect_.height());
  status_->setGeometry(statusRect_.adjusted(0, 0, 0, grow));
  statusFrame_->setGeometry(statusFrameRect_.adjusted(0, 0, 0, grow));
  for (const auto& [widget, rect] : belowStatus_) widget->setGeometry(rect.translated(0, grow));
  setFixedSize(windowSize_ + QSize(0, grow));
}
void MainWindow::ShowModelName(const char* text) {
  model_->setText(WidgetText(text));
}
void MainWindow::ShowPackageVersion(const char* text) {
  packageVersion_->setText(WidgetText(text));
}
void MainWindow::ShowCurrentVersion(const char* text) {
  currentVersion_->setText(WidgetText(text));
}
void MainWindow::EnableStart(bool enable) {
  start_->setEnabled(enable);
}
void MainWindow::EnableExit(bool enable) {
  exit_->setEnabled(enable);
}
void MainWindow::EnableColourMode(bool enable) {
  colourMode_->setEnabled(enable);
}
void MainWindow::ShowColourModeButton(bool show) {
  colourMode_->setVisible(show);
}

void MainWindow::PlayAnimation(bool play) {
  if (play) {
    animation_->start();
  } else {
    animation_->stop();
  }
}

void MainWindow::ShowErrorBox(const char* text) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"), WidgetText(text), QMessageBox::Ok,
                  this);
  box.setObjectName(QStringLiteral("ErrorBox"));
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void MainWindow::ShowNoticeBox(const char* text) {
  // No owner window, as the printer's reset is announced independently of the window.
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Notice"), WidgetText(text), QMessageBox::Ok);
  box.setObjectName(QStringLiteral("NoticeBox"));
  box.setTextFormat(Qt::PlainText);
  box.setWindowIcon(KilnIcon());
  box.exec();
}

void MainWindow::CloseWindow() {
  QMetaObject::invokeMethod(this, &MainWindow::reject, Qt::QueuedConnection);
}

void MainWindow::RunOnWindowThread(const std::function<void()>& task) {
  tasks_.RunAndWait(task);
}

void MainWindow::PostToWindowThread(std::function<void()> task) {
  tasks_.Post(std::move(task));
}

void MainWindow::RunQueuedTasks() {
  tasks_.RunQueued();
}

void MainWindow::reject() {
  if (!controller_->OnExit()) return;
  QDialog::reject();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (controller_->OnExit()) {
    QDialog::closeEvent(event);
  } else {
    event->ignore();
  }
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    const QPoint at = event->position().toPoint();
    const Qt::KeyboardModifiers keys = event->modifiers();
    controller_->OnLeftClick(at.x(), at.y(), keys.testFlag(Qt::ControlModifier),
                             keys.testFlag(Qt::ShiftModifier));
  }
  QDialog::mousePressEvent(event);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == currentVersionLabel_ && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    controller_->OnCurrentVersionClicked();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

// The About dialog: F1, or the window's context menu (a Linux window has no system menu
// to add an item to).
void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    ShowAbout();
    return;
  }
  QDialog::keyPressEvent(event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  const char* item = i18n::LoadStringResource(i18n::kAboutMenuResource);
  if (item == nullptr || *item == '\0') return;
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("WindowMenu"));
  QAction* about = menu.addAction(WidgetText(session_.language.Translate(item).c_str()));
  if (menu.exec(event->globalPos()) == about) ShowAbout();
}

void MainWindow::ShowAbout() {
  ExecAboutDialog(this, session_.language, session_.languageTag.view());
}

}  // namespace kiln::app
