// The program entry: the program's folder becomes the current folder, the application
// state is built and the socket library started, then the main window runs until the
// program ends.
#include <QApplication>
#include <QTimer>
#include <cstdlib>

#include "app/app_state.h"
#include "app/main_window_qt.h"
#include "app/startup.h"
#include "download/download_window_qt.h"
#include "platform/files.h"
#include "platform/gui_bridge_qt.h"
#include "resolve/captcha_refresh.h"
#include "resolve/resolve_worker.h"

int main(int argc, char* argv[]) {
  SetCurrentFolder(ProgramFolder());
  AppState& app = App();  // never destroyed, so no worker meets a released record
  app.socketLibrary.Startup();

  QApplication application(argc, argv);
  InstallGuiBridge();
  InstallTestSwitches();

  MainWindow window;
  window.SetResolveStarter([&window](const std::string&) { StartResolve(window.Controls()); });
  window.SetCaptchaRefresher([&window] { RefreshCaptchaImageInBackground(window.Controls()); });
  // Closing the window ends the program at once, whatever workers still run.
  window.SetProgramEnd([] { EndProgram(0); });
  // "内置" opens a new download window beside the main window, not modal.
  window.SetDownloadWindowOpener([&window] { (new DownloadWindow(&window))->show(); });
  window.show();
  // Test switch: QINGSHAN_TEST_CLOSE_AFTER_MS=<n> closes the window after n milliseconds.
  if (const char* closeAfter = std::getenv("QINGSHAN_TEST_CLOSE_AFTER_MS")) {
    QTimer::singleShot(std::atoi(closeAfter), &window, &QWidget::close);
  }
  application.exec();
  EndProgram(0);
}
