#include "app/main_window_qt.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QFont>
#include <QKeyEvent>
#include <QPalette>
#include <thread>

#include "app/app_state.h"
#include "app/handoff.h"
#include "app/startup.h"
#include "platform/codepage.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "update/update_check.h"

namespace {

// The client area of the 422×223 window: the outer size less a thin frame and caption.
constexpr int kClientWidth = 416;
constexpr int kClientHeight = 198;
constexpr int kStatusBarHeight = 22;

constexpr QRgb kPlaceholderColor = 0xC0C0C0;
constexpr QRgb kBlack = 0x000000;

const QString& Placeholder() {
  static const QString text = QStringLiteral("请输入页面地址或文件ID");
  return text;
}

std::string Gbk(const char* utf8) {
  return Utf8ToGbkText(utf8);
}

void ShowHint(const char* utf8Text) {
  ShowMessageBox(Gbk(utf8Text), Gbk("温馨提示："), kMbOk | kMbIconInformation);
}

void SetTextColor(QWidget* widget, QRgb color) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Text, QColor(color));
  palette.setColor(QPalette::Base, Qt::white);
  widget->setPalette(palette);
}

}  // namespace

QFont MainWindowFont(int pixelSize) {
  // Machines without 微软雅黑 draw the Chinese with a CJK font that the set-up installs.
  QFont::insertSubstitutions(QStringLiteral("微软雅黑"), {QStringLiteral("WenQuanYi Micro Hei"),
                                                          QStringLiteral("Noto Sans CJK SC"),
                                                          QStringLiteral("Droid Sans Fallback")});
  QFont font(QStringLiteral("微软雅黑"));
  font.setPixelSize(pixelSize);
  font.setWeight(QFont::Normal);
  return font;
}

MainWindow::MainWindow() : MainWindow(Options()) {}

MainWindow::MainWindow(const Options& options) : options_(options) {
  setObjectName(QStringLiteral("MainWindow"));
  setFixedSize(kClientWidth, kClientHeight);
  move(50, 50);
  CreateControls();
  CreateHandles();
  ConnectHandlers();
  RunCreationSteps();
}

void MainWindow::CreateControls() {
  const QFont editFont = MainWindowFont(12);
  const QFont captionFont = MainWindowFont(14);
  setFont(captionFont);

  编辑框2 = PlaceControl(new QLineEdit(this), "编辑框2", 8, 16, 392, 30);
  按钮1 = PlaceControl(new QPushButton(QStringLiteral("解析"), this), "按钮1", 319, 17, 79, 27);
  标签2 = PlaceControl(new QLabel(QStringLiteral("文件名："), this), "标签2", 8, 66, 56, 24);
  编辑框1 = PlaceControl(new QLineEdit(this), "编辑框1", 72, 64, 176, 30);
  标签1 = PlaceControl(new QLabel(QStringLiteral("大小："), this), "标签1", 22, 100, 48, 24);
  编辑框3 = PlaceControl(new QLineEdit(this), "编辑框3", 72, 98, 176, 30);
  图片框1 = PlaceControl(new PictureLabel(this), "图片框1", 264, 64, 136, 64);
  编辑框4 = PlaceControl(new QLineEdit(this), "编辑框4", 276, 138, 112, 30);
  标签3 = PlaceControl(new FeedbackLabel(this), "标签3", 392, 144, 16, 24);
  图片框2 = PlaceControl(new BusyAnimation(this), "图片框2", 16, 128, 48, 48);
  按钮2 = PlaceControl(new QPushButton(QStringLiteral("迅雷"), this), "按钮2", 72, 134, 56, 36);
  按钮3 = PlaceControl(new QPushButton(QStringLiteral("网页"), this), "按钮3", 132, 134, 56, 36);
  按钮4 = PlaceControl(new QPushButton(QStringLiteral("内置"), this), "按钮4", 192, 134, 56, 36);
  进度条1 = PlaceControl(new PositionBar(this), "进度条1", 0, 176, 264, 18);
  状态条1 = PlaceControl(new PaneStatusBar({260, 200}, this), "状态条1", 0,
                         kClientHeight - kStatusBarHeight, kClientWidth, kStatusBarHeight);
  时钟1 = new QTimer(this);
  时钟1->setObjectName(QStringLiteral("时钟1"));

  按钮1->raise();                               // it sits inside the right end of the address box
  编辑框2->setTextMargins(0, 0, 400 - 319, 0);  // so the typed text never runs under it
  for (QLineEdit* edit : {编辑框1, 编辑框2, 编辑框3, 编辑框4}) {
    edit->setFont(editFont);
    SetTextColor(edit, kBlack);
  }
  状态条1->setFont(editFont);
  图片框1->setAlignment(Qt::AlignCenter);
  SetTextColor(编辑框1, qRgb(255, 80, 128));
  SetTextColor(编辑框3, qRgb(0, 136, 255));
  编辑框2->setText(Placeholder());
  SetAddressColor(kPlaceholderColor);
  图片框2->hide();
  for (QPushButton* button : {按钮2, 按钮3, 按钮4}) button->setEnabled(false);
  状态条1->Pane(1)->setText(QStringLiteral("状态：准备就绪"));
  标签3->feedbackHandler = [this] { 编辑框4->setFocus(Qt::OtherFocusReason); };
}

void MainWindow::CreateHandles() {
  editBox1_ = std::make_unique<QtEditBox>(编辑框1);
  editBox2_ = std::make_unique<QtEditBox>(编辑框2);
  editBox3_ = std::make_unique<QtEditBox>(编辑框3);
  editBox4_ = std::make_unique<QtEditBox>(编辑框4);
  button1_ = std::make_unique<QtButton>(按钮1);
  button2_ = std::make_unique<QtButton>(按钮2);
  button3_ = std::make_unique<QtButton>(按钮3);
  button4_ = std::make_unique<QtButton>(按钮4);
  label3_ = std::make_unique<QtLabel>(标签3);
  picture1_ = std::make_unique<QtPictureBox>(图片框1);
  picture2_ = std::make_unique<QtPictureBox>(图片框2);
  progress1_ = std::make_unique<QtProgressBar>(进度条1);
  status1_ = std::make_unique<QtStatusBar>(状态条1);
  timer1_ = std::make_unique<QtTimer>(时钟1);
  window_ = std::make_unique<QtWindow>(this);
  controls_.编辑框1 = editBox1_.get();
  controls_.编辑框2 = editBox2_.get();
  controls_.编辑框3 = editBox3_.get();
  controls_.编辑框4 = editBox4_.get();
  controls_.按钮1 = button1_.get();
  controls_.按钮2 = button2_.get();
  controls_.按钮3 = button3_.get();
  controls_.按钮4 = button4_.get();
  controls_.标签3 = label3_.get();
  controls_.图片框1 = picture1_.get();
  controls_.图片框2 = picture2_.get();
  controls_.进度条1 = progress1_.get();
  controls_.状态条1 = status1_.get();
  controls_.时钟1 = timer1_.get();
  controls_.window = window_.get();
}

void MainWindow::ConnectHandlers() {
  编辑框2->installEventFilter(this);
  connect(编辑框2, &QLineEdit::textChanged, this, &MainWindow::AddressTextChanged);
  connect(按钮1, &QPushButton::clicked, this, &MainWindow::ResolvePressed);
  connect(按钮2, &QPushButton::clicked, this, &MainWindow::ThunderPressed);
  connect(按钮3, &QPushButton::clicked, this, &MainWindow::WebPressed);
  connect(按钮4, &QPushButton::clicked, this, &MainWindow::BuiltInPressed);
  connect(时钟1, &QTimer::timeout, this, &MainWindow::ProgressTick);
}

void MainWindow::RunCreationSteps() {
  RecordMainWindowCreation();
  setWindowTitle(GbkToQString(MainWindowCaption(App().currentVersion.Get())));
  setFocusPolicy(Qt::StrongFocus);
  setFocus(Qt::OtherFocusReason);  // the window itself, not the address box, holds the focus
  进度条1->setParent(状态条1);
  const QRect pane = 状态条1->PaneRect(0);
  进度条1->move(pane.left(), pane.top());
  进度条1->resize(pane.width(), pane.height());
  进度条1->show();
  if (options_.startUpdateCheck) std::thread(UpdateCheck).detach();
}

void MainWindow::SetResolveStarter(std::function<void(const std::string&)> starter) {
  resolveStarter_ = std::move(starter);
}

void MainWindow::SetDownloadWindowOpener(std::function<void()> opener) {
  downloadWindowOpener_ = std::move(opener);
}

void MainWindow::SetCaptchaRefresher(std::function<void()> refresher) {
  图片框1->leftPressHandler = std::move(refresher);
}

void MainWindow::SetProgramEnd(std::function<void()> end) {
  programEnd_ = std::move(end);
}

void MainWindow::SetAddressColor(QRgb color) {
  addressColor_ = color;
  SetTextColor(编辑框2, color);
}

void MainWindow::AddressFocusIn() {
  if (编辑框2->text() == Placeholder() && addressColor_ == kPlaceholderColor) {
    编辑框2->clear();
    SetAddressColor(kBlack);
  }
}

void MainWindow::AddressFocusOut() {
  if (!编辑框2->text().isEmpty()) return;
  编辑框2->setText(Placeholder());
  SetAddressColor(kPlaceholderColor);
}

void MainWindow::AddressTextChanged(const QString& text) {
  if (text.isEmpty()) SetAddressColor(kBlack);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == 编辑框2) {
    switch (event->type()) {
      case QEvent::FocusIn:
        AddressFocusIn();
        break;
      case QEvent::FocusOut:
        AddressFocusOut();
        break;
      case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {  // key code 13
          ResolvePressed();
          return true;
        }
        break;
      }
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool MainWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) controls_.时钟1->SetPeriod(500);
  return QWidget::event(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (programEnd_) programEnd_();
}

void MainWindow::ResolvePressed() {
  const std::string input = WidgetText(编辑框2);
  if (input.empty() || input == QStringToGbk(Placeholder())) {
    ShowHint("请填入地址");
    return;
  }
  if (resolveStarter_) resolveStarter_(input);
}

void MainWindow::HandOff(const std::string& link, bool (*opens)(const std::string&)) {
  if (!opens(link)) {
    ShowHint("未获取到链接");
    return;
  }
  ShellOpen(link);
}

void MainWindow::ThunderPressed() {
  HandOff(App().thunderUrl.Get(), IsDownloadManagerAddress);
}

void MainWindow::WebPressed() {
  HandOff(App().downloadUrl.Get(), IsWebAddress);
}

void MainWindow::BuiltInPressed() {
  if (App().downloadUrl.Get().empty()) {
    ShowHint("未获取到链接");
    return;
  }
  if (downloadWindowOpener_) downloadWindowOpener_();
}

void MainWindow::ProgressTick() {
  ProgressDisplayTick(controls_, options_.progress);
}
