// Control handles: how workers and the core act on the controls of a window.
// Workers never touch a widget. Each call on a handle is carried out by the window that
// owns the control, on the GUI thread, and is finished before the call returns; on the
// GUI thread itself it runs at once. Texts are GBK. The Qt front end implements the
// handles in gui_bridge_qt; tests of the core use the in-memory ones of controls_memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

class EditBox {
 public:
  virtual ~EditBox() = default;
  virtual std::string GetText() = 0;
  virtual void SetText(const std::string& text) = 0;
  virtual void SetFocus() = 0;
};

class Button {
 public:
  virtual ~Button() = default;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool IsEnabled() = 0;
};

class Label {
 public:
  virtual ~Label() = default;
  virtual void SetText(const std::string& text) = 0;
  // Raises the label's feedback event and returns once the window has run its handler.
  virtual void RaiseFeedback() = 0;
};

class PictureBox {
 public:
  virtual ~PictureBox() = default;
  // Shows the image held in the bytes (JPEG, PNG or GIF); empty bytes clear the picture.
  virtual void SetImage(const std::string& imageBytes) = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual bool IsVisible() = 0;
};

class ProgressBar {
 public:
  virtual ~ProgressBar() = default;
  // The position is stored held within 0..32767; the bar draws it within 0..100.
  virtual void SetPosition(int32_t position) = 0;
  virtual int32_t Position() = 0;
};

class StatusBar {
 public:
  virtual ~StatusBar() = default;
  virtual void SetPaneText(int32_t pane, const std::string& text) = 0;
  virtual std::string PaneText(int32_t pane) = 0;
};

class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetPeriod(uint32_t milliseconds) = 0;  // 0 stops the timer
  virtual uint32_t Period() = 0;
};

class Window {
 public:
  virtual ~Window() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void Activate() = 0;
  virtual void Close() = 0;  // destroys the window
};

// The controls of the main window, by their form names.
struct MainWindowControls {
  EditBox* 编辑框1 = nullptr;     // file name
  EditBox* 编辑框2 = nullptr;     // page address or file ID
  EditBox* 编辑框3 = nullptr;     // size text
  EditBox* 编辑框4 = nullptr;     // verification characters
  Button* 按钮1 = nullptr;        // "解析"
  Button* 按钮2 = nullptr;        // "迅雷"
  Button* 按钮3 = nullptr;        // "网页"
  Button* 按钮4 = nullptr;        // "内置"
  Label* 标签3 = nullptr;         // feedback event: focus into 编辑框4
  PictureBox* 图片框1 = nullptr;  // verification image
  PictureBox* 图片框2 = nullptr;  // busy animation
  ProgressBar* 进度条1 = nullptr;
  StatusBar* 状态条1 = nullptr;  // status texts go to pane 1
  Timer* 时钟1 = nullptr;        // download progress display
  Window* window = nullptr;
};

// Lets the window system handle the messages waiting for the calling thread (input,
// repaints, timers). On the GUI thread this keeps the windows responsive inside a
// handler's wait; on a worker thread there is nothing to handle and it returns at once.
void ProcessPendingMessages();

// Installed by the GUI bridge; without a handler ProcessPendingMessages does nothing.
void SetPendingMessagesHandler(std::function<void()> handler);
