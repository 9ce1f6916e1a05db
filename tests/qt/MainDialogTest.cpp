// The Qt dialog driven as a user drives it, with real files; the recording
// double answers message boxes and file dialogs, whose Qt versions come last.

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>
#include <tuple>

#include "ControlIds.h"
#include "DialogCommands.h"
#include "QtPlatform.h"
#include "RecordingPlatform.h"
#include "SmfBuilder.h"
#include "Texts.h"
#include "ttMainDialog.h"

namespace {

using Texts = std::vector<std::string>;  // of the message boxes shown

QByteArray SourceSmf(std::uint32_t tempo) {
  const smftest::Bytes bytes =
      smftest::Smf(0, 96, {{{0, smftest::Tempo(tempo)}, {192, smftest::EndOfTrack()}}});
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// Runs `action` on the next visible modal T, inside the event loop showing it.
template <typename T>
void WhenModal(std::function<void(T*)> action) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    auto* widget = qobject_cast<T*>(QApplication::activeModalWidget());
    if (widget == nullptr || !widget->isVisible())
      return;
    timer->deleteLater();
    timer->stop();
    action(widget);
  });
  timer->start(10);
}

}  // namespace

class MainDialogTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  std::unique_ptr<RecordingPlatform> rec_;
  ttPlatform table_{};
  ttMainDialog* dialog_ = nullptr;
  QString tempo120_, tempo150_;

  QString Path(const char* name) const { return dir_.filePath(QString::fromUtf8(name)); }
  QLineEdit* Field(int id) const { return static_cast<QLineEdit*>(dialog_->Control(id)); }
  void Drop(const QList<QUrl>& urls, bool accepted = true,
            Qt::DropActions actions = Qt::CopyAction) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = dialog_->rect().center();
    // With Shift held: a source that may move the file proposes a move.
    QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(dialog_, &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    if (!accepted)
      return;
    QDropEvent drop(QPointF(at), actions, &data, Qt::LeftButton, Qt::ShiftModifier);
    QCoreApplication::sendEvent(dialog_, &drop);
    // Never a move: the source must keep its file.
    QCOMPARE(drop.dropAction(), Qt::CopyAction);
    QCoreApplication::processEvents();  // the command runs after the drop is answered
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    tempo120_ = Path("tempo120.mid");
    tempo150_ = Path(u8"テンポ150.mid");  // paths are passed in UTF-8
    for (const auto& [path, bytes] :
         {std::pair{tempo120_, SourceSmf(500000)}, {tempo150_, SourceSmf(400000)}}) {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
  }

  void init() {
    rec_ = std::make_unique<RecordingPlatform>();
    table_ = QtPlatform();
    table_.messageBox = Platform->messageBox;
    table_.openFileDialog = Platform->openFileDialog;
    table_.saveFileDialog = Platform->saveFileDialog;
    Platform = &table_;
    RunDropCommand(nullptr, nullptr);  // no source loaded, as at start
    dialog_ = new ttMainDialog;
    dialog_->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog_));
  }

  void cleanup() {
    delete dialog_;
    rec_.reset();
  }

  void controlsAndWindow() {
    // Class, text, id, read-only, default button; in creation order, the tab order.
    const std::tuple<const char*, const char*, int, bool, bool> rows[] = {
        {"QLabel", TT_TEXT_LABEL_SOURCE_PATH, -1, false, false},
        {"QLineEdit", "", IDC_SOURCE_PATH, true, false},
        {"QPushButton", TT_TEXT_BUTTON_BROWSE, IDC_BROWSE, false, false},
        {"QLabel", TT_TEXT_LABEL_SOURCE_BPM, -1, false, false},
        {"QLineEdit", "", IDC_SOURCE_BPM, true, false},
        {"QLabel", TT_TEXT_LABEL_BPM, -1, false, false},
        {"QLabel", TT_TEXT_LABEL_TARGET_BPM, -1, false, false},
        {"QLineEdit", "", IDC_TARGET_BPM, false, false},
        {"QLabel", TT_TEXT_LABEL_BPM, -1, false, false},
        {"QPushButton", TT_TEXT_BUTTON_SAVE_AS, IDC_SAVE_AS, false, true},
    };
    const auto controls = dialog_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 10);
    int i = 0;
    for (const auto& [className, text, id, readOnly, isDefault] : rows) {
      QWidget* control = controls[i++];
      QCOMPARE(control->metaObject()->className(), className);
      QCOMPARE(control->property("text").toString(), QString(text));
      QCOMPARE(control->property("readOnly").toBool(), readOnly);
      QCOMPARE(control->property("default").toBool(), isDefault);
      if (id != -1)
        QCOMPARE(dialog_->Control(id), control);
      // Inside the window, and no label cut short.
      QVERIFY(dialog_->rect().contains(control->geometry()));
      QVERIFY(!qobject_cast<QLabel*>(control) || control->sizeHint().width() <= control->width());
    }
    QCOMPARE(dialog_->windowTitle(), QString::fromUtf8(TT_TEXT_TITLE));
    QCOMPARE(dialog_->minimumSize(), dialog_->maximumSize());
    QVERIFY(!(dialog_->windowFlags() & Qt::WindowMaximizeButtonHint));
  }

  // A label's letter moves the focus to its field, a button's presses it.
  void focusAndMnemonics() {
    QCOMPARE(QApplication::focusWidget(), dialog_->Control(IDC_SOURCE_PATH));
    for (auto [key, id] : {std::pair{Qt::Key_O, IDC_SOURCE_BPM},
                           {Qt::Key_D, IDC_TARGET_BPM},
                           {Qt::Key_P, IDC_SOURCE_PATH}}) {
      QTest::keyClick(dialog_, key, Qt::AltModifier);
      QCOMPARE(QApplication::focusWidget(), dialog_->Control(id));
    }
    QTest::keyClick(dialog_, Qt::Key_R, Qt::AltModifier);
    QTRY_COMPARE(rec_->openDialogCalls, 1);
  }

  // Enter saves; in the comma locale CTest sets (Qt makes it the C library's)
  // "120,5" still reads as 120, so nothing moves. Escape does not close.
  void enterSavesEscapeDoesNotClose() {
    rec_->openAnswers.push_back(tempo120_.toStdString());
    QTest::mouseClick(dialog_->Control(IDC_BROWSE), Qt::LeftButton);
    Field(IDC_TARGET_BPM)->setFocus();
    QTest::keyClicks(Field(IDC_TARGET_BPM), "120,5");
    rec_->saveAnswers.push_back(Path("comma.mid").toStdString());
    QTest::keyClick(Field(IDC_TARGET_BPM), Qt::Key_Return);
    QCOMPARE(rec_->Texts(), Texts());
    QFile saved(Path("comma.mid"));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), SourceSmf(500000));
    QTest::keyClick(Field(IDC_TARGET_BPM), Qt::Key_Escape);
    QTest::keyClick(dialog_, Qt::Key_Escape);
    QVERIFY(dialog_->isVisible());
    QVERIFY(dialog_->close() && !dialog_->isVisible());  // the close box does close it
  }

  // The first local file of a drop, as a copy even where a move is proposed;
  // the window comes to the front; the BPM with a point in the comma locale.
  void dropTakesTheFirstLocalFileAsCopyAndRaises() {
    Drop({QUrl("https://example.invalid/song.mid")}, false);
    Drop({QUrl::fromLocalFile(tempo120_)}, false, Qt::MoveAction);
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    Drop({QUrl("https://example.invalid/song.mid"), QUrl::fromLocalFile(tempo150_),
          QUrl::fromLocalFile(tempo120_)},
         true, Qt::CopyAction | Qt::MoveAction);
    QCOMPARE(Field(IDC_SOURCE_PATH)->text() + " " + Field(IDC_SOURCE_BPM)->text(),
             tempo150_ + " 150.0");
    QTRY_VERIFY(dialog_->isActiveWindow());
  }

  void getItemTextStopsAtMax() {
    Field(IDC_TARGET_BPM)->setText(QString(200, QLatin1Char('7')));
    char buffer[200] = {};
    QCOMPARE(QtGetItemText(dialog_->Window(), IDC_TARGET_BPM, buffer, 128), 127u);
    QCOMPARE(QByteArray(buffer), QByteArray(127, '7'));  // ended, nothing written past
  }

  void messageBoxIsAnOwnedErrorBox() {
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      box->done(QMessageBox::Ok);  // closes once this returns, even after a failed check
      QCOMPARE(box->windowTitle(), QString(TT_TEXT_ERROR_CAPTION));
      QCOMPARE(box->text(), QString(TT_TEXT_NO_SOURCE));
      QCOMPARE(box->icon(), QMessageBox::Critical);
      QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
      QCOMPARE(box->parentWidget(), static_cast<QWidget*>(dialog_));
    });
    QtMessageBox(dialog_->Window(), TT_TEXT_NO_SOURCE, TT_TEXT_ERROR_CAPTION, kErrorBoxStyle);
  }

  // The save dialog's "*.*" shows names without a dot too, as on Windows; a
  // name typed bare gets ".mid" and, existing, is asked about; a path too long
  // for the commands' buffer is refused with the system's text, not cut short.
  void fileDialogs() {
    QFileDialog open;
    ConfigureFileDialog(open, false);
    QCOMPARE(open.fileMode(), QFileDialog::ExistingFile);
    QTemporaryDir folder;
    for (const char* name : {u8"既存.mid", "readme"})
      QVERIFY(QFile(folder.filePath(QString::fromUtf8(name))).open(QIODevice::WriteOnly));
    bool startedEmpty = false, filtered = false, asked = false;
    auto type = [&](const QString& typed) {
      WhenModal<QFileDialog>([&, typed](QFileDialog* fileDialog) {
        auto* name = fileDialog->findChild<QLineEdit*>("fileNameEdit");
        startedEmpty = name->text().isEmpty() && fileDialog->parentWidget() == dialog_;
        fileDialog->setDirectory(folder.path());  // Qt starts where the last dialog was
        auto* combo = fileDialog->findChild<QComboBox*>("fileTypeCombo");
        auto* model = fileDialog->findChild<QFileSystemModel*>();
        auto shows = [&](int files) {
          return QTest::qWaitFor(
              [&] { return model->rowCount(model->index(folder.path())) == files; });
        };
        filtered = combo->itemText(0) == TT_TEXT_FILTER_MIDI &&
                   combo->itemText(1) == TT_TEXT_FILTER_ALL && shows(1) &&
                   (fileDialog->selectNameFilter(fileDialog->nameFilters().at(1)), shows(2));
        name->setText(typed);
        QTest::keyClick(name, Qt::Key_Return);
      });
    };
    type(QString::fromUtf8(u8"既存"));
    WhenModal<QMessageBox>([&](QMessageBox* box) {
      asked = true;
      box->button(QMessageBox::Yes)->click();
    });
    char path[kPathBufferSize] = {0};
    std::uint32_t error = 1;
    QVERIFY(QtSaveFileDialog(dialog_->Window(), path, &error));
    QVERIFY(startedEmpty && filtered && asked && error == 0);
    QCOMPARE(QFile::decodeName(path), folder.filePath(QString::fromUtf8(u8"既存.mid")));
    type(QString(250, QLatin1Char('x')));
    QVERIFY(!QtSaveFileDialog(dialog_->Window(), path, &error));
    std::string text;
    QVERIFY(table_.systemErrorText(ENAMETOOLONG, &text));
    QCOMPARE(rec_->Texts(), Texts{text});
  }
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
