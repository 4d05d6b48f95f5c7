#include "platform/gui_bridge_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QThread>
#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/codepage.h"
#include "platform/message_box.h"

namespace {

// Lives on the GUI thread until the process ends; carried calls run in its context.
QObject* guiContext = nullptr;
QObject* GuiContext() {
  return guiContext ? guiContext : QCoreApplication::instance();
}

const char* const kGbkBytesProperty = "qsGbkBytes";
const char* const kShownTextProperty = "qsShownText";

void RememberText(QObject* control, const std::string& gbk, const QString& shown) {
  control->setProperty(kGbkBytesProperty, QByteArray(gbk.data(), static_cast<int>(gbk.size())));
  control->setProperty(kShownTextProperty, shown);
}

// The bytes that were set, while the control still shows what they were shown as.
std::string RecalledText(const QObject* control, const QString& shown) {
  const QVariant remembered = control->property(kShownTextProperty);
  if (remembered.isValid() && remembered.toString() == shown) {
    const QByteArray bytes = control->property(kGbkBytesProperty).toByteArray();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
  }
  return QStringToGbk(shown);
}

QMessageBox::Icon IconOf(int32_t style) {
  switch (style & 0xF0) {
    case 0x10:
      return QMessageBox::Critical;
    case 0x20:
      return QMessageBox::Question;
    case 0x30:
      return QMessageBox::Warning;
    case 0x40:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

bool IsYesNo(int32_t style) {
  return (style & 0xF) == kMbYesNo;
}

// A box without owner; its answer in the numbers the core knows.
QMessageBox* NewMessageBox(const std::string& text, const std::string& title, int32_t style) {
  QString shown = GbkToQString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  auto* box = new QMessageBox(IconOf(style), GbkToQString(title), shown,
                              IsYesNo(style) ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                              nullptr);
  box->setEscapeButton(IsYesNo(style) ? QMessageBox::No : QMessageBox::Ok);
  return box;
}

int32_t AnswerOf(QMessageBox* box, int32_t style) {
  const QMessageBox::StandardButton pressed = box->standardButton(box->clickedButton());
  if (IsYesNo(style)) return pressed == QMessageBox::Yes ? kIdYes : kIdNo;
  return kIdOk;
}

// Shown from a worker: not modal, so the windows stay usable while the worker waits.
int32_t ShowBesideWindows(const std::string& text, const std::string& title, int32_t style) {
  struct Answer {
    std::mutex mutex;
    std::condition_variable done;
    bool given = false;
    int32_t value = kIdOk;
  };
  auto answer = std::make_shared<Answer>();
  QMetaObject::invokeMethod(
      GuiContext(),
      [=] {
        QMessageBox* box = NewMessageBox(text, title, style);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        QObject::connect(box, &QMessageBox::finished, box, [=](int) {
          std::lock_guard<std::mutex> lock(answer->mutex);
          answer->value = AnswerOf(box, style);
          answer->given = true;
          answer->done.notify_all();
        });
        box->show();
      },
      Qt::QueuedConnection);
  std::unique_lock<std::mutex> lock(answer->mutex);
  answer->done.wait(lock, [&] { return answer->given; });
  return answer->value;
}

}  // namespace

bool OnGuiThread() {
  QObject* context = GuiContext();
  return !context || QThread::currentThread() == context->thread();
}

void RunOnGuiThread(const std::function<void()>& call) {
  if (OnGuiThread()) return call();
  QMetaObject::invokeMethod(
      GuiContext(), [&call] { call(); }, Qt::BlockingQueuedConnection);
}

void InstallGuiBridge() {
  if (!guiContext) guiContext = new QObject();  // never destroyed: workers may outlive main
  SetPendingMessagesHandler([] {
    if (OnGuiThread()) QCoreApplication::processEvents();
  });
  SetMessageBoxHandler(ShowQtMessageBox);
}

int32_t ShowQtMessageBox(const std::string& text, const std::string& title, int32_t style) {
  if (!OnGuiThread()) return ShowBesideWindows(text, title, style);
  std::unique_ptr<QMessageBox> box(NewMessageBox(text, title, style));
  box->setWindowModality(Qt::ApplicationModal);
  box->exec();
  return AnswerOf(box.get(), style);
}

QString GbkToQString(const std::string& gbk) {
  return QString::fromStdString(GbkToUtf8(gbk));
}

std::string QStringToGbk(const QString& text) {
  return Utf8BytesToGbk(text.toStdString());
}

void SetWidgetText(QLineEdit* edit, const std::string& gbk) {
  const QString shown = GbkToQString(gbk);
  RememberText(edit, gbk, shown);
  edit->setText(shown);
}

std::string WidgetText(const QLineEdit* edit) {
  return RecalledText(edit, edit->text());
}

void SetWidgetText(QLabel* label, const std::string& gbk) {
  const QString shown = GbkToQString(gbk);
  RememberText(label, gbk, shown);
  label->setText(shown);
}

std::string WidgetText(const QLabel* label) {
  return RecalledText(label, label->text());
}

void PictureLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && leftPressHandler) leftPressHandler();
  QLabel::mousePressEvent(event);
}

BusyAnimation::BusyAnimation(QWidget* parent) : PictureLabel(parent) {
  frameTimer_.setInterval(50);
  QObject::connect(&frameTimer_, &QTimer::timeout, this, [this] {
    frame_ = (frame_ + 1) % 12;
    update();
  });
}

void BusyAnimation::paintEvent(QPaintEvent*) {
  // Twelve dots on a ring of 32×32 in the middle, the brightest one going round.
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.translate(width() / 2.0, height() / 2.0);
  for (int i = 0; i < 12; ++i) {
    const int age = (frame_ - i + 12) % 12;
    const int grey = std::min(220, 80 + age * 14);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(grey, grey, grey));
    painter.save();
    painter.rotate(i * 30.0);
    painter.drawEllipse(QPointF(0, -12), 2.5, 2.5);
    painter.restore();
  }
}

void BusyAnimation::showEvent(QShowEvent* event) {
  frameTimer_.start();
  PictureLabel::showEvent(event);
}

void BusyAnimation::hideEvent(QHideEvent* event) {
  frameTimer_.stop();
  PictureLabel::hideEvent(event);
}

PositionBar::PositionBar(QWidget* parent) : QProgressBar(parent) {
  setRange(0, 100);
  setValue(0);
  setTextVisible(false);
}

void PositionBar::SetPosition(int32_t position) {
  position_ = std::clamp<int32_t>(position, 0, 32767);
  setValue(std::min<int32_t>(position_, 100));
}

PaneStatusBar::PaneStatusBar(const std::vector<int>& paneWidths, QWidget* parent)
    : QFrame(parent), widths_(paneWidths) {
  for (size_t i = 0; i < widths_.size(); ++i) {
    auto* pane = new QLabel(this);
    pane->setFrameShape(QFrame::Panel);
    pane->setFrameShadow(QFrame::Sunken);
    pane->setObjectName(QStringLiteral("pane%1").arg(i));
    panes_.push_back(pane);
  }
}

QRect PaneStatusBar::PaneRect(int pane) const {
  int left = 0;
  for (int i = 0; i < pane; ++i) left += widths_[static_cast<size_t>(i)] + 2;
  return QRect(left, 2, widths_[static_cast<size_t>(pane)], height() - 3);
}

QLabel* PaneStatusBar::Pane(int pane) const {
  return pane >= 0 && pane < static_cast<int>(panes_.size()) ? panes_[static_cast<size_t>(pane)]
                                                             : nullptr;
}

void PaneStatusBar::resizeEvent(QResizeEvent* event) {
  for (size_t i = 0; i < panes_.size(); ++i) panes_[i]->setGeometry(PaneRect(static_cast<int>(i)));
  QFrame::resizeEvent(event);
}

std::string QtEditBox::GetText() {
  std::string text;
  RunOnGuiThread([&] {
    if (edit_) text = WidgetText(edit_);
  });
  return text;
}

void QtEditBox::SetText(const std::string& text) {
  RunOnGuiThread([&] {
    if (edit_) SetWidgetText(edit_, text);
  });
}

void QtEditBox::SetFocus() {
  RunOnGuiThread([&] {
    if (edit_) edit_->setFocus(Qt::OtherFocusReason);
  });
}

void QtButton::SetEnabled(bool enabled) {
  RunOnGuiThread([&] {
    if (button_) button_->setEnabled(enabled);
  });
}

bool QtButton::IsEnabled() {
  bool enabled = false;
  RunOnGuiThread([&] { enabled = button_ && button_->isEnabled(); });
  return enabled;
}

void QtLabel::SetText(const std::string& text) {
  RunOnGuiThread([&] {
    if (label_) SetWidgetText(label_, text);
  });
}

void QtLabel::RaiseFeedback() {
  RunOnGuiThread([&] {
    if (label_ && label_->feedbackHandler) label_->feedbackHandler();
  });
}

void QtPictureBox::SetImage(const std::string& imageBytes) {
  RunOnGuiThread([&] {
    if (!picture_) return;
    QPixmap pixmap;
    if (imageBytes.empty() ||
        !pixmap.loadFromData(reinterpret_cast<const uchar*>(imageBytes.data()),
                             static_cast<uint>(imageBytes.size()))) {
      picture_->clear();
      return;
    }
    picture_->setPixmap(pixmap);
  });
}

void QtPictureBox::SetVisible(bool visible) {
  RunOnGuiThread([&] {
    if (picture_) picture_->setVisible(visible);
  });
}

bool QtPictureBox::IsVisible() {
  bool visible = false;
  RunOnGuiThread([&] { visible = picture_ && !picture_->isHidden(); });
  return visible;
}

void QtProgressBar::SetPosition(int32_t position) {
  RunOnGuiThread([&] {
    if (bar_) bar_->SetPosition(position);
  });
}

int32_t QtProgressBar::Position() {
  int32_t position = 0;
  RunOnGuiThread([&] {
    if (bar_) position = bar_->Position();
  });
  return position;
}

void QtStatusBar::SetPaneText(int32_t pane, const std::string& text) {
  RunOnGuiThread([&] {
    if (QLabel* label = bar_ ? bar_->Pane(pane) : nullptr) SetWidgetText(label, text);
  });
}

std::string QtStatusBar::PaneText(int32_t pane) {
  std::string text;
  RunOnGuiThread([&] {
    if (QLabel* label = bar_ ? bar_->Pane(pane) : nullptr) text = WidgetText(label);
  });
  return text;
}

void QtTimer::SetPeriod(uint32_t milliseconds) {
  RunOnGuiThread([&] {
    if (!timer_) return;
    if (milliseconds == 0) {
      timer_->stop();
    } else {
      timer_->start(static_cast<int>(std::min<uint32_t>(milliseconds, INT32_MAX)));
    }
  });
}

uint32_t QtTimer::Period() {
  uint32_t period = 0;
  RunOnGuiThread([&] {
    if (timer_ && timer_->isActive()) period = static_cast<uint32_t>(timer_->interval());
  });
  return period;
}

void QtWindow::Show() {
  RunOnGuiThread([&] {
    if (window_) window_->show();
  });
}

void QtWindow::Hide() {
  RunOnGuiThread([&] {
    if (window_) window_->hide();
  });
}

void QtWindow::Activate() {
  RunOnGuiThread([&] {
    if (!window_) return;
    window_->raise();
    window_->activateWindow();
  });
}

void QtWindow::Close() {
  RunOnGuiThread([&] {
    if (window_) window_->close();
  });
}
