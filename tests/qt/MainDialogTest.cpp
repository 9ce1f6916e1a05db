// The Qt dialog driven as a user drives it: keys, clicks and drops on the
// offscreen platform. The seam is the real Qt one with real files, except for
// message boxes and file dialogs, which a recorder answers (their own Qt
// implementations are tested at the end with the real widgets).

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ControlIds.h"
#include "DialogCommands.h"
#include "Platform.h"
#include "QtPlatform.h"
#include "SmfBuilder.h"
#include "Texts.h"
#include "ttMainDialog.h"

namespace {

struct Message {
  ttWindow owner;
  QString text;
  QString caption;
  unsigned style;
};

// The recording double: what the user would have seen and answered.
std::vector<Message> messages;
std::deque<std::optional<QString>> openAnswers;  // nullopt cancels
std::deque<std::optional<QString>> saveAnswers;
int openCalls = 0;
int saveCalls = 0;
bool fileDialogStartedEmpty = true;

void RecordMessage(ttWindow owner, const char* text, const char* caption, unsigned style) {
  messages.push_back({owner, QString::fromUtf8(text), QString::fromUtf8(caption), style});
}

bool Answer(std::deque<std::optional<QString>>& answers, char* path) {
  if (path[0] != '\0')
    fileDialogStartedEmpty = false;
  if (answers.empty() || !answers.front()) {
    if (!answers.empty())
      answers.pop_front();
    return false;
  }
  const QByteArray name = QFile::encodeName(*answers.front());
  answers.pop_front();
  std::memcpy(path, name.constData(), static_cast<std::size_t>(name.size()) + 1);
  return true;
}

bool RecordOpen(ttWindow, char* path) {
  ++openCalls;
  return Answer(openAnswers, path);
}

bool RecordSave(ttWindow, char* path) {
  ++saveCalls;
  return Answer(saveAnswers, path);
}

ttPlatform recordingTable;

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const smftest::Bytes& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

// A format-0 file at 96 ticks per quarter: the tempo, a note from tick 96 to 192.
smftest::Bytes SourceSmf(std::uint32_t tempo) {
  using smftest::Bytes;
  return smftest::Smf(0, 96,
                      {{{0, smftest::Tempo(tempo)},
                        {96, smftest::NoteOn(60)},
                        {192, Bytes{0x80, 60, 0}},
                        {192, smftest::EndOfTrack()}}});
}

// The tempo written into a saved file, or -1.
long TempoInFile(const QByteArray& bytes) {
  const int at = static_cast<int>(bytes.indexOf(QByteArray("\xFF\x51\x03", 3)));
  if (at < 0 || at + 6 > bytes.size())
    return -1;
  const auto byte = [&](int i) { return static_cast<long>(static_cast<unsigned char>(bytes[i])); };
  return (byte(at + 3) << 16) | (byte(at + 4) << 8) | byte(at + 5);
}

// Types text into the focused widget key by key, non-Latin characters too
// (as an input method hands them over).
void Type(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

// Runs `action` on the next modal widget of type T that appears while a
// nested event loop (exec) is running.
template <typename T>
void WhenModal(std::function<void(T*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    auto* widget = qobject_cast<T*>(QApplication::activeModalWidget());
    if (widget == nullptr || !widget->isVisible())
      return;
    timer->stop();
    timer->deleteLater();
    action(widget);
  });
  timer->start();
}

// A modal window that a case failed to answer would block the whole run until
// the watchdog kills it. The janitor closes any modal window that has stayed
// up for seconds and records that it had to.
class ModalJanitor {
 public:
  ModalJanitor() {
    timer_.setInterval(250);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
    timer_.start();
  }
  bool Stranded() const { return stranded_; }
  void Reset() { stranded_ = false; }

 private:
  void Check() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != current_) {
      current_ = modal;
      shownFor_.restart();
      return;
    }
    if (modal == nullptr || shownFor_.elapsed() < 5000)
      return;
    stranded_ = true;
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
  }

  QTimer timer_;
  QPointer<QWidget> current_;
  QElapsedTimer shownFor_;
  bool stranded_ = false;
};

}  // namespace

class MainDialogTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::unique_ptr<ModalJanitor> janitor_;
  ttMainDialog* dialog_ = nullptr;
  QString tempo120_;  // 500000 us per quarter
  QString tempo150_;  // 400000 us per quarter
  QString notSmf_;

  QString Path(const QString& name) const { return dir_.filePath(name); }
  QLineEdit* Field(int id) const { return static_cast<QLineEdit*>(dialog_->Control(id)); }
  QString FieldText(int id) const { return Field(id)->text(); }
  void Load(const QString& path) {
    openAnswers.push_back(path);
    QTest::mouseClick(dialog_->Control(IDC_BROWSE), Qt::LeftButton);
  }
  void TypeTempo(const QString& text) {
    Field(IDC_TARGET_BPM)->setFocus();
    Type(Field(IDC_TARGET_BPM), text);
  }
  QStringList MessageTexts() const {
    QStringList texts;
    for (const Message& m : messages)
      texts << m.text;
    return texts;
  }
  void Drop(const QList<QUrl>& urls, bool expectAccepted = true,
            Qt::DropActions actions = Qt::CopyAction, Qt::KeyboardModifiers keys = {}) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = dialog_->rect().center();
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, keys);
    QCoreApplication::sendEvent(dialog_, &enter);
    QCOMPARE(enter.isAccepted(), expectAccepted);
    if (!expectAccepted)
      return;
    QDropEvent drop(QPointF(at), actions, &data, Qt::LeftButton, keys);
    QCoreApplication::sendEvent(dialog_, &drop);
    QVERIFY(drop.isAccepted());
    // Never a move: the source must keep its file.
    QCOMPARE(drop.dropAction(), Qt::CopyAction);
    // The command runs once the drop has been answered.
    QCoreApplication::processEvents();
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    janitor_ = std::make_unique<ModalJanitor>();
    recordingTable = QtPlatform();
    recordingTable.messageBox = RecordMessage;
    recordingTable.openFileDialog = RecordOpen;
    recordingTable.saveFileDialog = RecordSave;
    Platform = &recordingTable;
    tempo120_ = Path("tempo120.mid");
    tempo150_ = Path("tempo150.mid");
    notSmf_ = Path("notes.txt");
    WriteAll(tempo120_, SourceSmf(500000));
    WriteAll(tempo150_, SourceSmf(400000));
    WriteAll(notSmf_, {'n', 'o', 't', 'e', 's'});
  }

  void init() {
    Platform = &recordingTable;
    dialog_ = new ttMainDialog;
    dialog_->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog_));
    // Every case starts with no source loaded, as the program does.
    RunDropCommand(dialog_->Window(), nullptr);
    messages.clear();
    openAnswers.clear();
    saveAnswers.clear();
    openCalls = saveCalls = 0;
    fileDialogStartedEmpty = true;
  }

  void cleanup() {
    delete dialog_;
    dialog_ = nullptr;
    QVERIFY2(!janitor_->Stranded(), "a modal window was left open");
    janitor_->Reset();
  }

  void controlsInTemplateOrder_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("readOnly");
    const auto row = [](int index, const char* cls, const char* text, int id, bool readOnly) {
      QTest::addRow("%d %s", index, cls)
          << index << QString::fromLatin1(cls) << QString::fromUtf8(text) << id << readOnly;
    };
    row(0, "QLabel", TT_TEXT_LABEL_SOURCE_PATH, -1, false);
    row(1, "QLineEdit", "", IDC_SOURCE_PATH, true);
    row(2, "QPushButton", TT_TEXT_BUTTON_BROWSE, IDC_BROWSE, false);
    row(3, "QLabel", TT_TEXT_LABEL_SOURCE_BPM, -1, false);
    row(4, "QLineEdit", "", IDC_SOURCE_BPM, true);
    row(5, "QLabel", "BPM", -1, false);
    row(6, "QLabel", TT_TEXT_LABEL_TARGET_BPM, -1, false);
    row(7, "QLineEdit", "", IDC_TARGET_BPM, false);
    row(8, "QLabel", "BPM", -1, false);
    row(9, "QPushButton", TT_TEXT_BUTTON_SAVE_AS, IDC_SAVE_AS, false);
  }

  void controlsInTemplateOrder() {
    QFETCH(int, index);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(int, id);
    QFETCH(bool, readOnly);
    const QList<QWidget*> controls = dialog_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 10);
    QWidget* control = controls.at(index);
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), className);
    if (auto* label = qobject_cast<QLabel*>(control))
      QCOMPARE(label->text(), text);
    if (auto* button = qobject_cast<QPushButton*>(control)) {
      QCOMPARE(button->text(), text);
      QCOMPARE(button->isDefault(), id == IDC_SAVE_AS);
    }
    if (auto* field = qobject_cast<QLineEdit*>(control)) {
      QCOMPARE(field->isReadOnly(), readOnly);
      QCOMPARE(field->text(), QString());
    }
    if (id != -1)
      QCOMPARE(dialog_->Control(id), control);
  }

  void windowIsFixedAndNothingIsClipped() {
    QCOMPARE(dialog_->windowTitle(), QString::fromUtf8(TT_TEXT_TITLE));
    QCOMPARE(dialog_->minimumSize(), dialog_->maximumSize());
    QCOMPARE(dialog_->size(), dialog_->minimumSize());
    const Qt::WindowFlags flags = dialog_->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);

    const QList<QWidget*> controls = dialog_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* control : controls) {
      QVERIFY(dialog_->rect().contains(control->geometry()));
      if (auto* label = qobject_cast<QLabel*>(control)) {
        QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->text()));
      }
      for (QWidget* other : controls) {
        if (other != control)
          QVERIFY(!control->geometry().intersects(other->geometry()));
      }
    }
  }

  void tabFollowsTemplateOrder() {
    QCOMPARE(QApplication::focusWidget(), dialog_->Control(IDC_SOURCE_PATH));
    const int order[] = {IDC_BROWSE, IDC_SOURCE_BPM, IDC_TARGET_BPM, IDC_SAVE_AS, IDC_SOURCE_PATH};
    for (int id : order) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), dialog_->Control(id));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), dialog_->Control(IDC_SAVE_AS));
  }

  void mnemonics_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("focusedId");  // 0: a button is pressed instead
    QTest::addColumn<int>("openCalls");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("P: path field") << int{Qt::Key_P} << IDC_SOURCE_PATH << 0 << QStringList();
    QTest::newRow("O: source tempo") << int{Qt::Key_O} << IDC_SOURCE_BPM << 0 << QStringList();
    QTest::newRow("D: new tempo") << int{Qt::Key_D} << IDC_TARGET_BPM << 0 << QStringList();
    QTest::newRow("R: browse") << int{Qt::Key_R} << 0 << 1 << QStringList();
    QTest::newRow("S: save") << int{Qt::Key_S} << 0 << 0
                             << QStringList{QString::fromUtf8(TT_TEXT_NO_SOURCE)};
  }

  void mnemonics() {
    QFETCH(int, key);
    QFETCH(int, focusedId);
    QFETCH(int, openCalls);
    QFETCH(QStringList, messages);
    dialog_->Control(IDC_SAVE_AS)->setFocus();
    QTest::keyClick(dialog_, static_cast<Qt::Key>(key), Qt::AltModifier);
    if (focusedId != 0)
      QCOMPARE(QApplication::focusWidget(), dialog_->Control(focusedId));
    // A button's mnemonic shows the button pressed for a moment, then clicks.
    QTRY_COMPARE(::openCalls, openCalls);
    QTRY_COMPARE(MessageTexts(), messages);
  }

  void escapeLeavesDialogOpen() {
    TypeTempo("12");
    QTest::keyClick(Field(IDC_TARGET_BPM), Qt::Key_Escape);
    dialog_->Control(IDC_BROWSE)->setFocus();
    QTest::keyClick(dialog_->Control(IDC_BROWSE), Qt::Key_Escape);
    QTest::keyClick(dialog_, Qt::Key_Escape);
    QVERIFY(dialog_->isVisible());
    QCOMPARE(FieldText(IDC_TARGET_BPM), QString("12"));
    QVERIFY(messages.empty());
    // The close box still ends the dialog.
    QVERIFY(dialog_->close());
    QVERIFY(!dialog_->isVisible());
  }

  void enterPressesDefaultOrFocusedButton_data() {
    QTest::addColumn<int>("focusedId");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("saves");
    QTest::newRow("in the tempo field") << IDC_TARGET_BPM << int{Qt::Key_Return} << true;
    QTest::newRow("keypad Enter") << IDC_TARGET_BPM << int{Qt::Key_Enter} << true;
    QTest::newRow("in the read-only path") << IDC_SOURCE_PATH << int{Qt::Key_Return} << true;
    QTest::newRow("in the source tempo") << IDC_SOURCE_BPM << int{Qt::Key_Return} << true;
    QTest::newRow("on the save button") << IDC_SAVE_AS << int{Qt::Key_Return} << true;
    QTest::newRow("on the browse button") << IDC_BROWSE << int{Qt::Key_Return} << false;
  }

  void enterPressesDefaultOrFocusedButton() {
    QFETCH(int, focusedId);
    QFETCH(int, key);
    QFETCH(bool, saves);
    Load(tempo120_);
    Field(IDC_TARGET_BPM)->setText("60");
    const QString out = Path(QStringLiteral("enter%1.mid").arg(QTest::currentDataTag()));
    saveAnswers.push_back(out);
    dialog_->Control(focusedId)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
    QCOMPARE(saveCalls, saves ? 1 : 0);
    QCOMPARE(openCalls, saves ? 1 : 2);
    QCOMPARE(QFile::exists(out), saves);
    QVERIFY(dialog_->isVisible());
  }

  void saveChecks_data() {
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");  // empty: saved
    QTest::addColumn<long>("tempo");
    const QString noSource = QString::fromUtf8(TT_TEXT_NO_SOURCE);
    const QString noTempo = QString::fromUtf8(TT_TEXT_NO_TEMPO);
    const QString tooSmall = QString::fromUtf8(TT_TEXT_TEMPO_TOO_SMALL);
    const QString outOfRange = QString::fromUtf8(TT_TEXT_TEMPO_OUT_OF_RANGE);
    QTest::newRow("no source, tempo typed") << false << QString("120") << noSource << -1L;
    QTest::newRow("no source, field empty") << false << QString("") << noSource << -1L;
    QTest::newRow("field empty") << true << QString("") << noTempo << -1L;
    QTest::newRow("only spaces") << true << QString("   ") << tooSmall << -1L;
    QTest::newRow("full-width digits") << true << QString::fromUtf8("１２０") << tooSmall << -1L;
    QTest::newRow("beyond what a tempo event holds") << true << QString("2") << outOfRange << -1L;
    QTest::newRow("comma ends the number") << true << QString("120,5") << QString() << 500000L;
    QTest::newRow("leading spaces") << true << QString("  90") << QString() << 666666L;
    QTest::newRow("fraction") << true << QString("120.5") << QString() << 497925L;
    // Only the first 127 bytes count: 124 spaces and "120" of "1200".
    QTest::newRow("127 bytes read")
        << true << QString(124, QLatin1Char(' ')) + "1200" << QString() << 500000L;
  }

  void saveChecks() {
    QFETCH(bool, loaded);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(long, tempo);
    if (loaded)
      Load(tempo120_);
    TypeTempo(typed);
    QCOMPARE(FieldText(IDC_TARGET_BPM), typed);
    const QString out = Path("checks.mid");
    QFile::remove(out);
    saveAnswers.push_back(out);
    QTest::keyClick(Field(IDC_TARGET_BPM), Qt::Key_Return);
    if (message.isEmpty()) {
      QVERIFY(messages.empty());
      QCOMPARE(TempoInFile(ReadAll(out)), tempo);
    } else {
      QCOMPARE(MessageTexts(), QStringList{message});
      const Message& m = messages.front();
      QCOMPARE(m.owner, dialog_->Window());
      QCOMPARE(m.caption, QString::fromUtf8(TT_TEXT_ERROR_CAPTION));
      QCOMPARE(m.style, kErrorBoxStyle);
      QCOMPARE(saveCalls, 0);
      QVERIFY(!QFile::exists(out));
    }
    // The typed text survives the command; the source stays as it was.
    QCOMPARE(FieldText(IDC_TARGET_BPM), typed);
    QCOMPARE(FieldText(IDC_SOURCE_BPM), loaded ? QString("120.0") : QString());
  }

  void savedFileBytes() {
    Load(tempo120_);
    TypeTempo("60");
    // Half the ticks at half the speed: every note keeps its time in seconds.
    const smftest::Bytes expected = smftest::Smf(0, 96,
                                                 {{{0, smftest::Tempo(1000000)},
                                                   {48, smftest::NoteOn(60)},
                                                   {96, smftest::Bytes{0x80, 60, 0}},
                                                   {96, smftest::EndOfTrack()}}});
    const QByteArray expectedBytes(reinterpret_cast<const char*>(expected.data()),
                                   static_cast<qsizetype>(expected.size()));
    saveAnswers = {Path("first.mid"), std::nullopt, Path("second.mid")};
    for (int i = 0; i < 3; ++i)
      QTest::mouseClick(dialog_->Control(IDC_SAVE_AS), Qt::LeftButton);
    QVERIFY(fileDialogStartedEmpty);
    QVERIFY(messages.empty());
    QCOMPARE(ReadAll(Path("first.mid")), expectedBytes);
    // A cancelled save writes nothing, and the next save converts the loaded
    // source again rather than the previous result.
    QCOMPARE(ReadAll(Path("second.mid")), expectedBytes);
    QCOMPARE(FieldText(IDC_SOURCE_PATH), tempo120_);
  }

  void failedSaveShowsSystemText() {
    Load(tempo120_);
    TypeTempo("100");
    saveAnswers.push_back(Path("missing-folder/out.mid"));
    QTest::keyClick(Field(IDC_TARGET_BPM), Qt::Key_Return);
    std::string expected;
    QVERIFY(recordingTable.systemErrorText(ENOENT, &expected));
    QCOMPARE(MessageTexts(), QStringList{QString::fromStdString(expected)});
    QCOMPARE(messages.front().caption, QString::fromUtf8(TT_TEXT_ERROR_CAPTION));
  }

  void drop_data() {
    QTest::addColumn<QString>("preloaded");
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QString>("shownPath");
    QTest::addColumn<QString>("shownBpm");
    QTest::addColumn<bool>("message");
    const QString a = tempo120_, b = tempo150_, bad = notSmf_;
    const QString japanese = Path(QString::fromUtf8("曲 テスト.mid"));
    QTest::newRow("one file") << QString("") << QStringList{a} << a << QString("120.0") << false;
    QTest::newRow("first of three")
        << QString("") << QStringList{b, a, bad} << b << QString("150.0") << false;
    QTest::newRow("replaces the loaded file")
        << a << QStringList{b} << b << QString("150.0") << false;
    QTest::newRow("Japanese name")
        << QString("") << QStringList{japanese} << japanese << QString("120.0") << false;
    QTest::newRow("first is not an SMF")
        << a << QStringList{bad, b} << QString("") << QString("") << true;
    QTest::newRow("folder") << a << QStringList{dir_.path()} << QString("") << QString("") << true;
    QTest::newRow("vanished file")
        << QString("") << QStringList{Path("gone.mid")} << QString("") << QString("") << true;
  }

  void drop() {
    QFETCH(QString, preloaded);
    QFETCH(QStringList, dropped);
    QFETCH(QString, shownPath);
    QFETCH(QString, shownBpm);
    QFETCH(bool, message);
    if (QTest::currentDataTag() == QByteArray("Japanese name")) {
      QFile::remove(dropped.front());
      QVERIFY(QFile::copy(tempo120_, dropped.front()));
    }
    if (!preloaded.isEmpty())
      Load(preloaded);
    QList<QUrl> urls;
    for (const QString& path : dropped)
      urls << QUrl::fromLocalFile(path);
    Drop(urls);
    QCOMPARE(FieldText(IDC_SOURCE_PATH), shownPath);
    QCOMPARE(FieldText(IDC_SOURCE_BPM), shownBpm);
    QCOMPARE(messages.size(), message ? std::size_t{1} : std::size_t{0});
    if (message)
      QCOMPARE(messages.front().owner, dialog_->Window());
    // Whatever was loaded before is gone after a failed drop.
    if (message) {
      TypeTempo("100");
      QTest::keyClick(Field(IDC_TARGET_BPM), Qt::Key_Return);
      QCOMPARE(messages.back().text, QString::fromUtf8(TT_TEXT_NO_SOURCE));
    }
  }

  void dragAcceptsOnlyLocalFiles() {
    Drop({QUrl("https://example.invalid/song.mid")}, false);
    Drop({}, false);
    Drop({QUrl::fromLocalFile(tempo120_)}, false, Qt::MoveAction);
    Drop({QUrl::fromLocalFile(tempo120_)}, true, Qt::CopyAction | Qt::MoveAction,
         Qt::ShiftModifier);
    QCOMPARE(FieldText(IDC_SOURCE_PATH), tempo120_);
    QVERIFY(QFile::exists(tempo120_));
    Drop({QUrl("https://example.invalid/song.mid"), QUrl::fromLocalFile(tempo150_)});
    QCOMPARE(FieldText(IDC_SOURCE_PATH), tempo150_);
  }

  void dropBringsDialogToFront() {
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QVERIFY(!dialog_->isActiveWindow());
    Drop({QUrl::fromLocalFile(tempo120_)});
    QTRY_VERIFY(dialog_->isActiveWindow());
  }

  void browse() {
    Load(tempo150_);
    QCOMPARE(FieldText(IDC_SOURCE_PATH), tempo150_);
    QCOMPARE(FieldText(IDC_SOURCE_BPM), QString("150.0"));
    QVERIFY(fileDialogStartedEmpty);
    // Cancelling the next open dialog forgets the loaded file.
    openAnswers.push_back(std::nullopt);
    QTest::mouseClick(dialog_->Control(IDC_BROWSE), Qt::LeftButton);
    QCOMPARE(FieldText(IDC_SOURCE_PATH), QString());
    QCOMPARE(FieldText(IDC_SOURCE_BPM), QString());
    TypeTempo("120");
    QTest::mouseClick(dialog_->Control(IDC_SAVE_AS), Qt::LeftButton);
    QCOMPARE(MessageTexts(), QStringList{QString::fromUtf8(TT_TEXT_NO_SOURCE)});
    QCOMPARE(openCalls, 2);
  }

  void getItemText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("max");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("fits") << QString("120") << 128 << QByteArray("120");
    QTest::newRow("cut to max - 1 bytes")
        << QString(200, QLatin1Char('7')) << 128 << QByteArray(127, '7');
    QTest::newRow("room for the zero only") << QString("120") << 1 << QByteArray();
    QTest::newRow("UTF-8 bytes") << QString::fromUtf8("１２０") << 128
                                 << QByteArray("\xEF\xBC\x91\xEF\xBC\x92\xEF\xBC\x90");
    QTest::newRow("cut inside a character")
        << QString::fromUtf8("１２０") << 5 << QByteArray("\xEF\xBC\x91\xEF");
  }

  void getItemText() {
    QFETCH(QString, text);
    QFETCH(int, max);
    QFETCH(QByteArray, expected);
    Field(IDC_TARGET_BPM)->setText(text);
    char buffer[300];
    std::memset(buffer, 'x', sizeof buffer);
    const std::uint32_t count = QtGetItemText(dialog_->Window(), IDC_TARGET_BPM, buffer, max);
    QCOMPARE(count, static_cast<std::uint32_t>(expected.size()));
    QCOMPARE(QByteArray(buffer, static_cast<qsizetype>(count)), expected);
    QCOMPARE(buffer[count], '\0');
    QCOMPARE(buffer[max], 'x');  // nothing written past max
  }

  void itemTextAddressesControlsById() {
    const QByteArray path = QFile::encodeName(Path(QString::fromUtf8("長い名前の曲.mid")));
    QtSetItemText(dialog_->Window(), IDC_SOURCE_PATH, path.constData());
    QCOMPARE(FieldText(IDC_SOURCE_PATH), QFile::decodeName(path));
    QCOMPARE(Field(IDC_SOURCE_PATH)->cursorPosition(), 0);
    QCOMPARE(FieldText(IDC_SOURCE_BPM), QString());
    char buffer[8] = "xxxxxxx";
    QCOMPARE(QtGetItemText(dialog_->Window(), 1003, buffer, 8), 0u);
    QCOMPARE(buffer[0], '\0');
    QCOMPARE(QtGetItemText(dialog_->Window(), IDC_SOURCE_PATH, buffer, 0), 0u);
  }

  void typedTempoIgnoresTheLocale() {
    // CTest runs this program in a German locale where one is available; Qt
    // has set the C library's locale from the environment.
    if (std::strtod("120,5", nullptr) != 120.5)
      QSKIP("no locale with a decimal comma installed");
    Load(tempo120_);
    QCOMPARE(FieldText(IDC_SOURCE_BPM), QString("120.0"));
    TypeTempo("120,5");
    saveAnswers.push_back(Path("locale.mid"));
    QTest::keyClick(Field(IDC_TARGET_BPM), Qt::Key_Return);
    QVERIFY(messages.empty());
    QCOMPARE(TempoInFile(ReadAll(Path("locale.mid"))), 500000L);
  }

  // The real Qt parts of the seam.

  void messageBoxIsAnOwnedErrorBox() {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget* parent = nullptr;
    bool modal = false;
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      buttons = box->standardButtons();
      parent = box->parentWidget();
      modal = box->isModal();
      box->button(QMessageBox::Ok)->click();
    });
    QtMessageBox(dialog_->Window(), "変換元の SMF を指定してください。", "エラー", kErrorBoxStyle);
    QCOMPARE(title, QString::fromUtf8("エラー"));
    QCOMPARE(text, QString::fromUtf8("変換元の SMF を指定してください。"));
    QCOMPARE(icon, QMessageBox::Critical);
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(parent, static_cast<QWidget*>(dialog_));
    QVERIFY(modal);
  }

  void fileDialogFiltersMatchLikeWindows_data() {
    QTest::addColumn<int>("filter");
    QTest::addColumn<QStringList>("visible");
    QTest::newRow("MIDI files") << 0 << QStringList{"LOUD.MID", "song.mid"};
    QTest::newRow("all files") << 1 << QStringList{"LOUD.MID", "readme", "song.mid", "song.txt"};
  }

  void fileDialogFiltersMatchLikeWindows() {
    QFETCH(int, filter);
    QFETCH(QStringList, visible);
    QTemporaryDir folder;
    for (const char* name : {"song.mid", "LOUD.MID", "song.txt", "readme"}) {
      QFile file(folder.filePath(name));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QFileDialog fileDialog(dialog_);
    ConfigureFileDialog(fileDialog, false);
    fileDialog.setOption(QFileDialog::DontUseNativeDialog);
    fileDialog.setDirectory(folder.path());
    auto* combo = fileDialog.findChild<QComboBox*>("fileTypeCombo");
    QVERIFY(combo != nullptr);
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QString::fromUtf8("標準 MIDI ファイル (*.mid)"));
    QCOMPARE(combo->itemText(1), QString::fromUtf8("全てのファイル (*.*)"));
    QCOMPARE(combo->currentIndex(), 0);
    fileDialog.selectNameFilter(fileDialog.nameFilters().at(filter));
    fileDialog.show();
    auto* model = fileDialog.findChild<QFileSystemModel*>();
    QVERIFY(model != nullptr);
    const auto names = [&] {
      QStringList shown;
      const QModelIndex root = model->index(folder.path());
      for (int row = 0; row < model->rowCount(root); ++row)
        shown << model->fileName(model->index(row, 0, root));
      shown.sort();
      return shown;
    };
    QTRY_COMPARE(names(), visible);
  }

  void openAndSaveDialogs_data() {
    QTest::addColumn<bool>("save");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("overwriteAnswer");  // 0: no question expected
    QTest::addColumn<QString>("chosen");       // empty: nothing chosen
    QTest::newRow("open an existing file")
        << false << QString("exists.mid") << 0 << QString("exists.mid");
    QTest::newRow("save adds the suffix") << true << QString("new") << 0 << QString("new.mid");
    QTest::newRow("save keeps a suffix") << true << QString("new.smf") << 0 << QString("new.smf");
    QTest::newRow("save over a file, confirmed")
        << true << QString("exists") << int{QMessageBox::Yes} << QString("exists.mid");
    QTest::newRow("save over a file, refused")
        << true << QString("exists.mid") << int{QMessageBox::No} << QString("");
  }

  void openAndSaveDialogs() {
    QFETCH(bool, save);
    QFETCH(QString, typed);
    QFETCH(int, overwriteAnswer);
    QFETCH(QString, chosen);
    QTemporaryDir folder;
    {
      QFile file(folder.filePath("exists.mid"));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    bool startedEmpty = false, asked = false, ownedByDialog = false;
    WhenModal<QFileDialog>([&](QFileDialog* fileDialog) {
      auto* name = fileDialog->findChild<QLineEdit*>("fileNameEdit");
      startedEmpty = name->text().isEmpty();
      ownedByDialog = fileDialog->parentWidget() == dialog_;
      // Qt starts in the folder of the previous file dialog, if any.
      fileDialog->setDirectory(folder.path());
      name->setText(typed);
      if (overwriteAnswer != 0) {
        WhenModal<QMessageBox>([&, fileDialog](QMessageBox* question) {
          asked = true;
          question->button(static_cast<QMessageBox::StandardButton>(overwriteAnswer))->click();
          // A refused replacement leaves the file dialog open: cancel it.
          if (overwriteAnswer == QMessageBox::No) {
            QTimer::singleShot(0, fileDialog, [fileDialog] { fileDialog->reject(); });
          }
        });
      }
      QTest::keyClick(name, Qt::Key_Return);
    });
    char path[kPathBufferSize] = {0};
    const bool ok = save ? QtSaveFileDialog(dialog_->Window(), path)
                         : QtOpenFileDialog(dialog_->Window(), path);
    QVERIFY(startedEmpty);
    QVERIFY(ownedByDialog);
    QCOMPARE(asked, overwriteAnswer != 0);
    QCOMPARE(ok, !chosen.isEmpty());
    if (ok)
      QCOMPARE(QFile::decodeName(path), folder.filePath(chosen));
    QVERIFY(messages.empty());
  }

  void pathTooLongForTheCommandsIsRefused() {
    QTemporaryDir folder;
    const QString longFolder = folder.filePath(QString(200, QLatin1Char('d')));
    QVERIFY(QDir().mkpath(longFolder));
    const QString longPath = longFolder + "/" + QString(100, QLatin1Char('f')) + ".mid";
    QVERIFY(QFile::copy(tempo120_, longPath));
    WhenModal<QFileDialog>([&](QFileDialog* fileDialog) {
      auto* name = fileDialog->findChild<QLineEdit*>("fileNameEdit");
      name->setText(longPath);
      QTest::keyClick(name, Qt::Key_Return);
    });
    char path[kPathBufferSize] = {0};
    QVERIFY(!QtOpenFileDialog(dialog_->Window(), path));
    QCOMPARE(path[0], '\0');
    std::string expected;
    QVERIFY(recordingTable.systemErrorText(ENAMETOOLONG, &expected));
    QCOMPARE(MessageTexts(), QStringList{QString::fromStdString(expected)});
  }
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
