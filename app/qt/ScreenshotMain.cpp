// smftempo-gui-screenshot OUT.png SOURCE.mid BPM
//
// Opens the dialog as the program does, loads SOURCE.mid as a drop would,
// types BPM into the tempo field and saves what the display shows of the
// window to OUT.png. Meant for an X server without a desktop (Xvfb), so the
// window has no frame.

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

#include <cstdio>

#include "ControlIds.h"
#include "DialogCommands.h"
#include "Platform.h"
#include "QtPlatform.h"
#include "ttMainDialog.h"

namespace {

// No one is there to close a message box: say it on stderr instead.
void PrintMessage(ttWindow, const char* text, const char* caption, unsigned) {
  std::fprintf(stderr, "smftempo-gui-screenshot: %s: %s\n", caption, text);
}

void ProcessEventsFor(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() != 4) {
    std::fprintf(stderr, "usage: smftempo-gui-screenshot OUT.png SOURCE.mid BPM\n");
    return 2;
  }
  ttPlatform platform = QtPlatform();
  platform.messageBox = PrintMessage;
  Platform = &platform;

  ttMainDialog dialog;
  dialog.show();
  const QByteArray source = QFile::encodeName(arguments.at(2));
  RunDropCommand(dialog.Window(), source.constData());
  if (!SourceLoaded) {
    std::fprintf(stderr, "smftempo-gui-screenshot: %s was not loaded\n", source.constData());
    return 1;
  }
  auto* target = static_cast<QLineEdit*>(dialog.Control(IDC_TARGET_BPM));
  target->setText(arguments.at(3));
  target->setFocus();

  QDeadlineTimer deadline(5000);
  while (!dialog.windowHandle()->isExposed() && !deadline.hasExpired())
    ProcessEventsFor(20);
  // Let the first paint reach the server before it is read back.
  ProcessEventsFor(300);
  const QPixmap shot = dialog.screen()->grabWindow(dialog.winId());
  if (shot.isNull() || !shot.save(arguments.at(1), "PNG")) {
    std::fprintf(stderr, "smftempo-gui-screenshot: cannot write %s\n", qPrintable(arguments.at(1)));
    return 1;
  }
  return 0;
}
