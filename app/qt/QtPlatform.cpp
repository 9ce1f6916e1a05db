#include "QtPlatform.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "PosixPlatform.h"
#include "Texts.h"
#include "ttMainDialog.h"

namespace {

QWidget* OwnerWidget(ttWindow owner) {
  return static_cast<QWidget*>(owner);
}

QWidget* DialogControl(ttWindow owner, int id) {
  auto* dialog = dynamic_cast<ttMainDialog*>(OwnerWidget(owner));
  return dialog != nullptr ? dialog->Control(id) : nullptr;
}

QMessageBox::Icon IconForStyle(unsigned style) {
  switch (style & 0xF0u) {
    case 0x10u:
      return QMessageBox::Critical;
    case 0x20u:
      return QMessageBox::Question;
    case 0x30u:
      return QMessageBox::Warning;
    case 0x40u:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

bool RunFileDialog(ttWindow owner, char* path, bool save) {
  QFileDialog dialog(OwnerWidget(owner));
  ConfigureFileDialog(dialog, save);
  if (dialog.exec() != QDialog::Accepted)
    return false;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty())
    return false;
  const QByteArray name = QFile::encodeName(files.first());
  // The commands keep paths in buffers of kPathBufferSize bytes. A longer
  // path is refused with the system's own reason rather than cut short,
  // which would load or replace some other file.
  if (static_cast<std::uint32_t>(name.size()) >= kPathBufferSize) {
    ShowSystemError(owner, ENAMETOOLONG);
    return false;
  }
  std::memcpy(path, name.constData(), static_cast<std::size_t>(name.size()) + 1);
  return true;
}

}  // namespace

void ConfigureFileDialog(QFileDialog& dialog, bool save) {
  // Each filter is shown as "name (*.ext)" but matched by the pattern in its
  // last parentheses. "*.*" means every file on Windows; as a Qt pattern it
  // would hide names without a dot, and a save dialog would turn a typed
  // "x.mid" into "x.*". So the "all files" entry keeps its familiar text and
  // matches "*".
  const QString midiFilter = QString::fromUtf8(TT_TEXT_FILTER_MIDI) + QStringLiteral(" (*.mid)");
  const QString allFilter = QString::fromUtf8(TT_TEXT_FILTER_ALL) + QStringLiteral(" (*)");
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setNameFilters({midiFilter, allFilter});
  dialog.selectNameFilter(midiFilter);
  dialog.setDefaultSuffix(QStringLiteral("mid"));
  if (save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
  }
}

void QtMessageBox(ttWindow owner, const char* text, const char* caption, unsigned style) {
  QMessageBox box(IconForStyle(style), QString::fromUtf8(caption), QString::fromUtf8(text),
                  QMessageBox::Ok, OwnerWidget(owner));
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

// Qt's dialogs have no error of their own to report: a path too long for the
// commands is refused above with the system's text.
bool QtOpenFileDialog(ttWindow owner, char* path, std::uint32_t* error) {
  *error = 0;
  return RunFileDialog(owner, path, false);
}

bool QtSaveFileDialog(ttWindow owner, char* path, std::uint32_t* error) {
  *error = 0;
  return RunFileDialog(owner, path, true);
}

void QtSetItemText(ttWindow owner, int id, const char* text) {
  QWidget* control = DialogControl(owner, id);
  const QString value = QString::fromUtf8(text);
  if (auto* field = dynamic_cast<QLineEdit*>(control)) {
    field->setText(value);
    // Show the start of a long path, as a Windows edit field does.
    field->setCursorPosition(0);
  } else if (auto* button = dynamic_cast<QAbstractButton*>(control)) {
    button->setText(value);
  }
}

std::uint32_t QtGetItemText(ttWindow owner, int id, char* buffer, int max) {
  if (max <= 0)
    return 0;
  QByteArray text;
  QWidget* control = DialogControl(owner, id);
  if (auto* field = dynamic_cast<QLineEdit*>(control)) {
    text = field->text().toUtf8();
  } else if (auto* button = dynamic_cast<QAbstractButton*>(control)) {
    text = button->text().toUtf8();
  }
  const auto count = static_cast<std::size_t>(std::min<qsizetype>(text.size(), max - 1));
  std::memcpy(buffer, text.constData(), count);
  buffer[count] = '\0';
  return static_cast<std::uint32_t>(count);
}

ttPlatform QtPlatform() {
  ttPlatform table = PosixPlatform();
  table.messageBox = QtMessageBox;
  table.openFileDialog = QtOpenFileDialog;
  table.saveFileDialog = QtSaveFileDialog;
  table.setItemText = QtSetItemText;
  table.getItemText = QtGetItemText;
  return table;
}
