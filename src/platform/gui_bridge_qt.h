// The Qt side of the control handles. Every call that a worker makes on a handle is
// carried to the GUI thread and finished there before the worker goes on; on the GUI
// thread the call runs at once. Texts cross as GBK and are shown as UTF-16; a text set
// into a control and read back unedited returns its own bytes, valid GBK or not.
#pragma once

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/controls.h"

// Call once on the GUI thread after the QApplication exists: the GUI thread's context
// for carried calls, pending-message processing and the message-box handler.
void InstallGuiBridge();

// Runs the call on the GUI thread and returns when it has finished.
void RunOnGuiThread(const std::function<void()>& call);
bool OnGuiThread();

QString GbkToQString(const std::string& gbk);
std::string QStringToGbk(const QString& text);

// Names a control by its form name (also its Qt object name) and puts it at its design
// place in the client area.
template <typename T>
T* PlaceControl(T* control, const char* formName, int x, int y, int width, int height) {
  control->setObjectName(QString::fromUtf8(formName));
  control->setGeometry(x, y, width, height);
  return control;
}

// Control texts that keep their GBK bytes through an unedited round trip.
void SetWidgetText(QLineEdit* edit, const std::string& gbk);
std::string WidgetText(const QLineEdit* edit);
void SetWidgetText(QLabel* label, const std::string& gbk);
std::string WidgetText(const QLabel* label);

// A message box on the GUI thread: modal when asked for there, otherwise shown beside
// the windows (which stay usable) while the asking worker waits. No owner window.
int32_t ShowQtMessageBox(const std::string& text, const std::string& title, int32_t style);

// A label whose feedback event runs a handler on the GUI thread.
class FeedbackLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> feedbackHandler;
};

// A picture box: shows an image from bytes and reports a left mouse press.
class PictureLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> leftPressHandler;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};

// A looping grey busy animation, 50 milliseconds a frame, running while visible.
class BusyAnimation : public PictureLabel {
 public:
  explicit BusyAnimation(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  QTimer frameTimer_;
  int frame_ = 0;
};

// A progress bar whose position is stored within 0..32767 and drawn within 0..100.
class PositionBar : public QProgressBar {
 public:
  explicit PositionBar(QWidget* parent = nullptr);
  void SetPosition(int32_t position);
  int32_t Position() const { return position_; }

 private:
  int32_t position_ = 0;
};

// A status bar with panes of fixed widths, laid out from the left edge.
class PaneStatusBar : public QFrame {
 public:
  PaneStatusBar(const std::vector<int>& paneWidths, QWidget* parent = nullptr);
  QRect PaneRect(int pane) const;
  QLabel* Pane(int pane) const;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  std::vector<int> widths_;
  std::vector<QLabel*> panes_;
};

class QtEditBox : public EditBox {
 public:
  explicit QtEditBox(QLineEdit* edit) : edit_(edit) {}
  std::string GetText() override;
  void SetText(const std::string& text) override;
  void SetFocus() override;

 private:
  QPointer<QLineEdit> edit_;
};

class QtButton : public Button {
 public:
  explicit QtButton(QWidget* button) : button_(button) {}
  void SetEnabled(bool enabled) override;
  bool IsEnabled() override;

 private:
  QPointer<QWidget> button_;
};

class QtLabel : public Label {
 public:
  explicit QtLabel(FeedbackLabel* label) : label_(label) {}
  void SetText(const std::string& text) override;
  void RaiseFeedback() override;

 private:
  QPointer<FeedbackLabel> label_;
};

class QtPictureBox : public PictureBox {
 public:
  explicit QtPictureBox(QLabel* picture) : picture_(picture) {}
  void SetImage(const std::string& imageBytes) override;
  void SetVisible(bool visible) override;
  bool IsVisible() override;

 private:
  QPointer<QLabel> picture_;
};

class QtProgressBar : public ProgressBar {
 public:
  explicit QtProgressBar(PositionBar* bar) : bar_(bar) {}
  void SetPosition(int32_t position) override;
  int32_t Position() override;

 private:
  QPointer<PositionBar> bar_;
};

class QtStatusBar : public StatusBar {
 public:
  explicit QtStatusBar(PaneStatusBar* bar) : bar_(bar) {}
  void SetPaneText(int32_t pane, const std::string& text) override;
  std::string PaneText(int32_t pane) override;

 private:
  QPointer<PaneStatusBar> bar_;
};

class QtTimer : public Timer {
 public:
  explicit QtTimer(QTimer* timer) : timer_(timer) {}
  void SetPeriod(uint32_t milliseconds) override;
  uint32_t Period() override;

 private:
  QPointer<QTimer> timer_;
};

class QtWindow : public Window {
 public:
  explicit QtWindow(QWidget* window) : window_(window) {}
  void Show() override;
  void Hide() override;
  void Activate() override;
  void Close() override;

 private:
  QPointer<QWidget> window_;
};
