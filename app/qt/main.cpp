// The Linux desktop program: one modal dialog, no command-line arguments of
// its own (Qt's, such as -platform, are taken by QApplication).

#include <QApplication>

#include "Platform.h"
#include "QtPlatform.h"
#include "ttMainDialog.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const ttPlatform platform = QtPlatform();
  Platform = &platform;
  ttMainDialog dialog;
  dialog.exec();
  return 0;
}
