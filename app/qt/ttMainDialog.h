#pragma once
// The one dialog of the Linux desktop program: the same ten controls, texts,
// mnemonics and tab order as the Windows dialog template, laid out in the
// template's dialog units. The dialog only decodes Qt's events; the commands
// themselves are the shared ones of DialogCommands.h.

#include <QDialog>
#include <QHash>

class QDragEnterEvent;
class QDropEvent;
class QKeyEvent;
class QLineEdit;

class ttMainDialog : public QDialog {
 public:
  explicit ttMainDialog(QWidget* parent = nullptr);
  ~ttMainDialog() override;

  // The control with a template id (IDC_*), or nullptr for an unknown id.
  QWidget* Control(int id) const;
  // The dialog as the shared commands and the seam know it.
  void* Window();
  // Loads `path` as a file dropped on the dialog, once the event loop runs
  // (so that a message box about it has a shown dialog as its owner).
  void Open(const QString& path);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // The controls that have an id, by id.
  QHash<int, QWidget*> controls_;
};
