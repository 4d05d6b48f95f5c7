#include "download/download_window_qt.h"

#include <QApplication>
#include <QFileDialog>
#include <mutex>

#include "app/app_state.h"
#include "app/main_window_qt.h"
#include "app/startup.h"
#include "download/download_worker.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/gui_bridge_qt.h"
#include "platform/message_box.h"

namespace {

// The client area of the 513×239 window: the outer size less a thin frame and caption.
constexpr int kClientWidth = 507;
constexpr int kClientHeight = 214;

std::mutex folderDialogMutex;
FolderDialog& FolderDialogSlot() {
  static auto* dialog = new FolderDialog();
  return *dialog;
}

QString SystemFolderDialog(QWidget* owner, const QString& prompt) {
  return QFileDialog::getExistingDirectory(owner, prompt, QString(), QFileDialog::ShowDirsOnly);
}

QString AskForFolder(QWidget* owner, const QString& prompt) {
  FolderDialog dialog;
  {
    std::lock_guard<std::mutex> lock(folderDialogMutex);
    dialog = FolderDialogSlot();
  }
  return dialog ? dialog(owner, prompt) : SystemFolderDialog(owner, prompt);
}

// This window's boxes give no title, so they carry the default one.
int32_t ShowNotice(const char* utf8Text, int32_t style) {
  return ShowMessageBox(Utf8ToGbkText(utf8Text), std::string(), style);
}

}  // namespace

void SetFolderDialog(FolderDialog dialog) {
  std::lock_guard<std::mutex> lock(folderDialogMutex);
  FolderDialogSlot() = std::move(dialog);
}

DownloadWindow::DownloadWindow(QWidget* mainWindow) : mainWindow_(mainWindow) {
  setObjectName(QStringLiteral("DownloadWindow"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("新建下载窗口"));
  setFixedSize(kClientWidth, kClientHeight);
  move(50, 50);
  CreateControls();
  ConnectHandlers();
  RunCreatedHandler();
}

void DownloadWindow::CreateControls() {
  setFont(MainWindowFont(14));
  // The band goes first so that the button row is drawn over it.
  标签4 = PlaceControl(new QLabel(this), "标签4", 0, 146, 520, 80);
  标签1 = PlaceControl(new QLabel(QStringLiteral("网 址："), this), "标签1", 25, 26, 48, 24);
  编辑框2 = PlaceControl(new QLineEdit(this), "编辑框2", 80, 24, 405, 30);
  标签2 = PlaceControl(new QLabel(QStringLiteral("文件名："), this), "标签2", 16, 66, 56, 24);
  编辑框1 = PlaceControl(new QLineEdit(this), "编辑框1", 80, 64, 405, 30);
  标签5 = PlaceControl(new QLabel(this), "标签5", 419, 67, 65, 24);
  标签3 = PlaceControl(new QLabel(QStringLiteral("下载到："), this), "标签3", 16, 106, 56, 24);
  编辑框3 = PlaceControl(new QLineEdit(this), "编辑框3", 80, 104, 320, 30);
  按钮1 = PlaceControl(new QPushButton(QStringLiteral("浏览..."), this), "按钮1", 415, 105, 70, 30);
  按钮5 = PlaceControl(new QPushButton(QStringLiteral("极速下载"), this), "按钮5", 16, 168, 70, 30);
  按钮2 =
      PlaceControl(new QPushButton(QStringLiteral("下载并打开"), this), "按钮2", 254, 168, 70, 30);
  按钮3 = PlaceControl(new QPushButton(QStringLiteral("下载"), this), "按钮3", 335, 168, 70, 30);
  按钮4 = PlaceControl(new QPushButton(QStringLiteral("取消"), this), "按钮4", 415, 168, 70, 30);

  for (QLineEdit* edit : {编辑框1, 编辑框2, 编辑框3}) edit->setFont(MainWindowFont(12));
  // The size lies over the right end of the name box and stays readable there.
  标签5->setAlignment(Qt::AlignCenter);
  标签5->setAttribute(Qt::WA_TransparentForMouseEvents);
  标签5->raise();
}

void DownloadWindow::ConnectHandlers() {
  connect(按钮1, &QPushButton::clicked, this, &DownloadWindow::BrowsePressed);
  connect(按钮2, &QPushButton::clicked, this, [this] { DownloadPressed(true); });
  connect(按钮3, &QPushButton::clicked, this, [this] { DownloadPressed(false); });
  connect(按钮4, &QPushButton::clicked, this, &DownloadWindow::CancelPressed);
  connect(按钮5, &QPushButton::clicked, this, &DownloadWindow::FastDownloadPressed);
}

void DownloadWindow::RunCreatedHandler() {
  AppState& app = App();
  SetWidgetText(编辑框2, app.downloadUrl.Get());
  SetWidgetText(编辑框1, app.fileName.Get());
  SetWidgetText(标签5, app.fileSizeText.Get());
  std::string folder = ReadSaveFolderFile();
  if (folder.empty()) folder = ProgramFolder();
  app.saveFolder.Set(folder);
  SetWidgetText(编辑框3, folder);
}

void DownloadWindow::BrowsePressed() {
  const QString chosen = AskForFolder(QApplication::activeWindow(), QStringLiteral("请选择目录："));
  if (chosen.isEmpty()) return;  // cancelled: the box and the file stay as they were
  RememberFolder(FromNativePath(chosen.toStdString()));
}

void DownloadWindow::RememberFolder(const std::string& folder) {
  SetWidgetText(编辑框3, folder);
  // The old file goes first: a hidden file cannot be created anew over itself.
  const std::string file = SaveFolderFilePath();
  DeleteFileAt(file);
  WriteWholeFile(file, folder);
  SetHiddenAttribute(file);
  App().saveFolder.Set(folder);
}

void DownloadWindow::DownloadPressed(bool openAfterDownload) {
  AppState& app = App();
  app.openAfterDownload.store(openAfterDownload ? 1 : 0);  // even a refused click sets it
  const std::string name = WidgetText(编辑框1);
  if (SafeFileName(name).empty()) {
    ShowNotice("请填写文件名", kMbOk | kMbIconInformation);
    return;
  }
  const std::string folder = WidgetText(编辑框3);
  if (folder.empty()) {
    ShowNotice("请填写保存路径", kMbOk | kMbIconInformation);
    return;
  }
  app.saveFolder.Set(folder);
  app.fileName.Set(name);
  // Asked about the very path the worker will write, after its folder clean-up.
  const std::string target = DownloadTargetPath(CleanSaveFolder(folder), SafeFileName(name));
  if (FileExists(target)) {
    if (ShowNotice(" 文件已存在，是否继续下载？", kMbYesNo | kMbIconQuestion) != kIdYes) return;
    DeleteFileAt(target);
  }
  StartWorker();
}

void DownloadWindow::StartWorker() {
  hide();  // not closed yet: the worker reads the address box and closes the window
  if (mainWindow_) {
    mainWindow_->raise();
    mainWindow_->activateWindow();
  }
  DownloadWorkerHooks hooks;
  const QPointer<QLineEdit> addressBox(编辑框2);
  hooks.readAddress = [addressBox] {
    std::string address = App().downloadUrl.Get();
    RunOnGuiThread([&] {
      if (addressBox) address = WidgetText(addressBox);
    });
    return address;
  };
  const QPointer<DownloadWindow> self(this);
  hooks.closeWindow = [self] {
    RunOnGuiThread([&] {
      if (self) self->close();
    });
  };
  StartDownloadWorker(std::move(hooks));
}

void DownloadWindow::CancelPressed() {
  close();
}

void DownloadWindow::FastDownloadPressed() {}
