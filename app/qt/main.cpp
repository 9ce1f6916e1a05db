// The Linux desktop program: one modal dialog. A file named on the command
// line (as a file manager's "Open With" passes it) is loaded as if it had
// been dropped on the dialog; Qt's own arguments, such as -platform, are
// taken by QApplication first.

#include <QApplication>
#include <QStringList>

#include "Platform.h"
#include "QtPlatform.h"
#include "ttMainDialog.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const ttPlatform platform = QtPlatform();
  Platform = &platform;
  ttMainDialog dialog;
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1)
    dialog.Open(arguments.at(1));
  dialog.exec();
  return 0;
}
