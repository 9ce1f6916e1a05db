#include "ttMainDialog.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <string>

#include "ControlIds.h"
#include "DialogCommands.h"
#include "Texts.h"

namespace {

enum class Kind { kLabel, kField, kReadOnlyField, kButton, kDefaultButton };

// One control of the dialog template, in dialog units.
struct ControlTemplate {
  int id;
  Kind kind;
  const char* text;
  int x, y, width, height;
};

constexpr int kNoId = -1;

// The template's controls in their order, which is also the tab order.
constexpr ControlTemplate kControls[] = {
    {kNoId, Kind::kLabel, TT_TEXT_LABEL_SOURCE_PATH, 7, 9, 64, 8},
    {IDC_SOURCE_PATH, Kind::kReadOnlyField, "", 76, 7, 178, 14},
    {IDC_BROWSE, Kind::kButton, TT_TEXT_BUTTON_BROWSE, 258, 7, 40, 14},
    {kNoId, Kind::kLabel, TT_TEXT_LABEL_SOURCE_BPM, 7, 31, 57, 8},
    {IDC_SOURCE_BPM, Kind::kReadOnlyField, "", 76, 29, 60, 14},
    {kNoId, Kind::kLabel, TT_TEXT_LABEL_BPM, 142, 31, 15, 8},
    {kNoId, Kind::kLabel, TT_TEXT_LABEL_TARGET_BPM, 7, 54, 57, 8},
    {IDC_TARGET_BPM, Kind::kField, "", 76, 51, 60, 14},
    {kNoId, Kind::kLabel, TT_TEXT_LABEL_BPM, 142, 53, 15, 8},
    {IDC_SAVE_AS, Kind::kDefaultButton, TT_TEXT_BUTTON_SAVE_AS, 76, 80, 222, 18},
};

constexpr int kDialogWidth = 305;
constexpr int kDialogHeight = 109;

// Pixels per 4 horizontal and per 8 vertical dialog units, as Windows derives
// them from the dialog font. They are then enlarged where a text of this
// font (the desktop's, not the template's) would not fit its box: the
// template's proportions are kept and nothing is clipped.
struct DialogUnits {
  int baseX;
  int baseY;
  int X(int units) const { return (units * baseX + 2) / 4; }
  int Y(int units) const { return (units * baseY + 4) / 8; }
};

QString DisplayedText(const char* text) {
  QString shown = QString::fromUtf8(text);
  shown.remove(QLatin1Char('&'));
  return shown;
}

int CeilDiv(int numerator, int denominator) {
  return (numerator + denominator - 1) / denominator;
}

DialogUnits MeasureUnits(const QFont& font, int fieldHeight) {
  const QFontMetrics metrics(font);
  const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  DialogUnits units{(metrics.horizontalAdvance(alphabet) / 26 + 1) / 2, metrics.height()};
  for (const ControlTemplate& control : kControls) {
    int width = 0;
    if (control.kind == Kind::kLabel) {
      width = metrics.horizontalAdvance(DisplayedText(control.text));
    } else if (control.kind == Kind::kButton || control.kind == Kind::kDefaultButton) {
      width = metrics.horizontalAdvance(DisplayedText(control.text)) + 2 * metrics.height();
    } else {
      units.baseY = std::max(units.baseY, CeilDiv(fieldHeight * 8, control.height));
    }
    units.baseX = std::max(units.baseX, CeilDiv(width * 4, control.width));
  }
  return units;
}

// The local file that a drop names first, or an empty string.
QString FirstLocalFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls())
    return QString();
  const QList<QUrl> urls = data->urls();
  for (const QUrl& url : urls) {
    if (url.isLocalFile())
      return url.toLocalFile();
  }
  return QString();
}

// The file is only read. Accepting a move that the source proposes (Shift in
// many file managers) would let it delete the file after the drop.
void AcceptAsCopy(QDropEvent* event) {
  if (!(event->possibleActions() & Qt::CopyAction))
    return;
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

}  // namespace

ttMainDialog::ttMainDialog(QWidget* parent)
    // A title, a system menu, a minimise and a close button: no maximise, no
    // context help, and the size below is fixed.
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8(TT_TEXT_TITLE));
  setAcceptDrops(true);

  // Created in template order, which Qt's focus chain follows: the tab order
  // is that of the template.
  QWidget* created[std::size(kControls)] = {};
  for (std::size_t i = 0; i < std::size(kControls); ++i) {
    const ControlTemplate& control = kControls[i];
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
      case Kind::kLabel: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        created[i] = label;
        break;
      }
      case Kind::kField:
      case Kind::kReadOnlyField: {
        auto* field = new QLineEdit(this);
        field->setReadOnly(control.kind == Kind::kReadOnlyField);
        created[i] = field;
        break;
      }
      case Kind::kButton:
      case Kind::kDefaultButton: {
        auto* button = new QPushButton(text, this);
        button->setDefault(control.kind == Kind::kDefaultButton);
        created[i] = button;
        break;
      }
    }
  }
  // A label's mnemonic moves the focus to the control that follows it.
  for (std::size_t i = 0; i + 1 < std::size(kControls); ++i) {
    auto* label = dynamic_cast<QLabel*>(created[i]);
    if (label != nullptr && label->text().contains(QLatin1Char('&'))) {
      label->setBuddy(created[i + 1]);
    }
  }

  for (std::size_t i = 0; i < std::size(kControls); ++i) {
    if (kControls[i].id != kNoId)
      controls_.insert(kControls[i].id, created[i]);
  }
  QWidget* const sourcePath = Control(IDC_SOURCE_PATH);
  auto* const browse = static_cast<QPushButton*>(Control(IDC_BROWSE));
  auto* const saveAs = static_cast<QPushButton*>(Control(IDC_SAVE_AS));

  const DialogUnits units = MeasureUnits(font(), sourcePath->minimumSizeHint().height());
  for (std::size_t i = 0; i < std::size(kControls); ++i) {
    const ControlTemplate& control = kControls[i];
    created[i]->setGeometry(units.X(control.x), units.Y(control.y), units.X(control.width),
                            units.Y(control.height));
  }
  setFixedSize(units.X(kDialogWidth), units.Y(kDialogHeight));

  connect(browse, &QPushButton::clicked, this, [this] { RunBrowseCommand(Window()); });
  connect(saveAs, &QPushButton::clicked, this, [this] { RunSaveCommand(Window()); });

  // The first control that takes the focus has it when the dialog opens.
  sourcePath->setFocus();
}

ttMainDialog::~ttMainDialog() = default;

QWidget* ttMainDialog::Control(int id) const {
  return controls_.value(id, nullptr);
}

void* ttMainDialog::Window() {
  return static_cast<QWidget*>(this);
}

void ttMainDialog::keyPressEvent(QKeyEvent* event) {
  // The dialog has no Cancel button: Escape must not close it. Only the close
  // box, the window menu or the window manager's close key end it.
  if (event->matches(QKeySequence::Cancel)) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ttMainDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (!FirstLocalFile(event->mimeData()).isEmpty())
    AcceptAsCopy(event);
}

void ttMainDialog::dropEvent(QDropEvent* event) {
  raise();
  activateWindow();
  const QString path = FirstLocalFile(event->mimeData());
  AcceptAsCopy(event);
  // Loading may show a modal message box: it runs after the drop has been
  // answered, so that the program the file came from is not held waiting.
  Open(path);
}

void ttMainDialog::Open(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  QTimer::singleShot(0, this, [this, name] {
    RunDropCommand(Window(), name.isEmpty() ? nullptr : name.constData());
  });
}
