// Nothing converted is lost without asking, and the whole window works from
// the keyboard: driven through the real widgets, every box answered through
// the modal seam.
#include "app/form_main.h"
#include "app/leave_prompts.h"
#include "app/main_texts.h"
#include "clip_tools.h"
#include "controls/image_button.h"
#include "controls/modal_seam.h"
#include "convert/job_support.h"
#include "giflib_util.h"
#include "preview/gif_preview.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QtTest/qtestspontaneevent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace framolo {
namespace {

// A file in the running test's own folder, removed after the test.
QString KeysPath(const QString& name) {
    return QString::fromStdString(test::WorkPath(name.toStdString()));
}

// A clip in the folder the tests share, made once under a private name and
// renamed into place.
QString Clip(const QString& name, int frames) {
    const QString path = QString::fromStdString(test::ClipPath("keys-" + name.toStdString()));
    if (!QFile::exists(path)) {
        const QString part =
            path + QStringLiteral(".part%1.avi").arg(QCoreApplication::applicationPid());
        const std::string command =
            "ffmpeg -loglevel error -y -f lavfi -i testsrc=size=32x24:rate=10"
            " -frames:v " +
            std::to_string(frames) + " -c:v rawvideo -pix_fmt bgr24 '" + part.toStdString() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        if (!QFile::rename(part, path))
            QFile::remove(part);
    }
    return path;
}

int GiflibFrames(const QString& path) {
    if (!QFile::exists(path))
        return -1;
    std::ifstream in(path.toStdString(), std::ios::binary);
    const test::GiflibDecoded decoded =
        test::GiflibDecode({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()});
    return decoded.Ok ? static_cast<int>(decoded.Frames.size()) : -1;
}

class UrlRecorder : public QObject {
    Q_OBJECT
public slots:
    void Open(const QUrl& url) { opened << url; }

public:
    QList<QUrl> opened;
};

class WindowKeysTest : public ::testing::Test {
protected:
    void SetUp() override { Start(); }
    void Start() {
        form = std::make_unique<TFormmain>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QApplication::setActiveWindow(form.get());
        asked.clear();
        boxes.clear();
    }
    template <class T = QWidget> T* Find(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    // Questions get `answer`, other boxes OK; open dialogs choose openFile, save
    // dialogs saveFile, or are cancelled when it is empty.
    TModalRunner Answer() {
        return [this](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                (box->icon() == QMessageBox::Question ? asked : boxes) << box->text();
                return box->icon() == QMessageBox::Question ? answer : int{QMessageBox::Ok};
            }
            auto& files = static_cast<QFileDialog&>(dialog);
            const QString& chosen =
                files.acceptMode() == QFileDialog::AcceptOpen ? openFile : saveFile;
            files.selectFile(chosen);
            return chosen.isEmpty() ? int{QDialog::Rejected} : int{QDialog::Accepted};
        };
    }
    void OpenAndConvert(const QString& clip) {
        openFile = clip;
        form->OpenClick();
        form->ConvertClick();
        ASSERT_TRUE(form->HasUnsavedResult());
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus != nullptr ? focus : form.get(), key, modifiers);
    }
    // Runs `action` when the job next lets the window handle its events.
    void DuringRun(std::function<void()> action) { QTimer::singleShot(0, form.get(), action); }

    std::unique_ptr<TFormmain> form;
    QStringList asked, boxes;
    int answer = QMessageBox::Cancel;
    QString openFile, saveFile;
};

// Each command that would throw away an unsaved GIF, with each answer: Cancel
// (or a cancelled save) leaves tab, clip and result as they were; Discard goes
// on; Save writes the GIF first.
TEST_F(WindowKeysTest, AnUnsavedGifIsSavedDiscardedOrKept) {
    enum Way { TabHeader, CloseTool, Open, CloseButton, WindowManager };
    const TDiscardTrigger triggers[] = {TDiscardTrigger::SwitchTab, TDiscardTrigger::CloseClip,
                                        TDiscardTrigger::OpenClip, TDiscardTrigger::Quit,
                                        TDiscardTrigger::Quit};
    const QString first = Clip("five.avi", 5), second = Clip("three.avi", 3);
    TScopedModalRunner runner(Answer());
    for (const Way way : {TabHeader, CloseTool, Open, CloseButton, WindowManager}) {
        for (const int reply :
             {int{QMessageBox::Cancel}, int{QMessageBox::Discard}, int{QMessageBox::Save}, -1}) {
            SCOPED_TRACE(testing::Message() << "way " << way << " answer " << reply);
            Start();
            OpenAndConvert(first);
            answer = reply == -1 ? int{QMessageBox::Save} : reply;
            saveFile = reply == -1 ? QString() : KeysPath("kept.gif");
            QFile::remove(KeysPath("kept.gif"));
            openFile = second;
            if (way == TabHeader)
                QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton);
            else if (way == CloseTool)
                Find<QToolButton>("ToolButton2")->click();
            else if (way == Open)
                form->OpenClick();
            else if (way == CloseButton)
                QTest::mouseClick(Find("CloseButton"), Qt::LeftButton, {}, QPoint(8, 8));
            QCloseEvent close; // as the window manager sends it
            QSpontaneKeyEvent::setSpontaneous(&close);
            if (way == WindowManager)
                QApplication::instance()->notify(form.get(), &close);
            const bool saved = reply == QMessageBox::Save;
            const bool goesOn = saved || reply == QMessageBox::Discard;
            EXPECT_EQ(asked, QStringList{DiscardQuestion(triggers[way])});
            const bool done[] = {form->ActivePage() == 1, form->AVIPlayer1().FileName().empty(),
                                 form->AVIPlayer1().FileName() == second.toStdString(),
                                 !form->isVisible(), close.isAccepted()};
            EXPECT_EQ(done[way], goesOn);
            EXPECT_EQ(GiflibFrames(KeysPath("kept.gif")), saved ? 5 : -1);
            EXPECT_EQ(form->HasUnsavedResult(), !goesOn);
            EXPECT_EQ(form->ImageGifPreview().Picture() != nullptr, !goesOn || way >= CloseButton);
            EXPECT_EQ(Find("Panel2")->isVisibleTo(form.get()), !goesOn || way >= CloseButton);
        }
    }
    // Once saved, nothing asks.
    Start();
    OpenAndConvert(first);
    saveFile = KeysPath("kept.gif");
    form->SaveClick();
    QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton);
    EXPECT_TRUE(asked.isEmpty());
}

// A clip that cannot be opened leaves the result before it, still unsaved.
TEST_F(WindowKeysTest, AFailedOpenOrAKeptDropLeavesTheUnsavedResult) {
    TScopedModalRunner runner(Answer());
    OpenAndConvert(Clip("five.avi", 5));
    QFile bad(KeysPath("bad.avi"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("RIFF, and nothing a reader could play");
    bad.close();
    answer = QMessageBox::Discard;
    openFile = bad.fileName();
    boxes.clear();
    form->OpenClick();
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_TRUE(form->HasUnsavedResult());
    // Nor does a GIF dropped on the window when the person keeps the result.
    saveFile = KeysPath("dropped.gif");
    form->SaveClick();
    form->ConvertClick();
    answer = QMessageBox::Cancel;
    form->OpenDropped(saveFile);
    EXPECT_EQ(form->ActivePage(), 0);
    EXPECT_EQ(form->Gifpreview_B().Picture(), nullptr);
}

// Closing the window while a run goes on asks; Stop and Close ends the run
// with the window, Cancel lets both go on.
TEST_F(WindowKeysTest, ClosingDuringARunAsksToStopIt) {
    TScopedModalRunner runner(Answer());
    for (const int reply : {int{QMessageBox::Yes}, int{QMessageBox::Cancel}}) {
        Start();
        answer = reply;
        openFile = Clip("twenty.avi", 20);
        form->OpenClick();
        DuringRun(
            [this] { QTest::mouseClick(Find("CloseButton"), Qt::LeftButton, {}, QPoint(8, 8)); });
        form->ConvertClick();
        EXPECT_EQ(asked, QStringList{QString::fromLatin1(StopRunQuestion)});
        EXPECT_EQ(form->isVisible(), reply == QMessageBox::Cancel);
        EXPECT_EQ(Find<QLabel>("ReportFrameCountLabel")->text() == "20",
                  reply == QMessageBox::Cancel);
        EXPECT_EQ(form->StatusText().startsWith("Stopped after "), reply == QMessageBox::Yes);
    }
}

// The first tab's road from the keyboard alone, and each key doing nothing
// where its command cannot be used.
TEST_F(WindowKeysTest, TheKeysRunTheCommandsOfTheTabShown) {
    TScopedModalRunner runner(Answer());
    UrlRecorder help;
    QDesktopServices::setUrlHandler("file", &help, "Open");
    Key(Qt::Key_Escape);
    Key(Qt::Key_Space);
    EXPECT_FALSE(form->StopRequested());
    openFile = Clip("twenty.avi", 20);
    Key(Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(form->AVIPlayer1().FileName(), openFile.toStdString());
    Key(Qt::Key_Space);
    EXPECT_TRUE(Find("ToolButton3")->isEnabled()) << "paused";
    Key(Qt::Key_Space);
    EXPECT_FALSE(Find("ToolButton3")->isEnabled()) << "playing";
    Key(Qt::Key_Space);
    form->AVIPlayer1().SetPosition(5);
    form->AVIPlayer1().repaint();
    Key(Qt::Key_Right);
    EXPECT_EQ(form->AVIPlayer1().Position(), 6);
    form->AVIPlayer1().repaint();
    Key(Qt::Key_Left);
    EXPECT_EQ(form->AVIPlayer1().Position(), 5);

    DuringRun([this] { Key(Qt::Key_Escape); });
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(form->StatusText().startsWith("Stopped after ")) << "Escape stops the run";
    Key(Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
    ASSERT_TRUE(form->HasUnsavedResult());
    saveFile = KeysPath("keys.gif");
    QFile::remove(saveFile);
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(GiflibFrames(saveFile), 20);
    Key(Qt::Key_F1);
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(help.opened.size(), 1);
    QFile page(help.opened[0].toLocalFile());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString listed = QString::fromUtf8(page.readAll());
    for (const char* key :
         {"O", "S", "Return", "Esc", "F1", "Space", "Left", "Right", "W", "Tab", "PgDn"})
        EXPECT_TRUE(listed.contains(QStringLiteral("<kbd>%1</kbd>").arg(key))) << "help: " << key;
    Key(Qt::Key_W, Qt::ControlModifier);
    EXPECT_TRUE(form->AVIPlayer1().FileName().empty());
    Key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form->ActivePage(), 1);
    Key(Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(form->ActivePage(), 0);
    EXPECT_TRUE(asked.isEmpty() && boxes.size() == 1) << boxes.join('|').toStdString();
}

// A key whose command cannot be used does nothing, and the control with the
// focus never sees it: Space would scroll the status line, an arrow would move
// the focus. A run takes Ctrl+W from the keyboard, not from Close's button.
TEST_F(WindowKeysTest, AKeyThatMayNotActIsTakenAndDropped) {
    TScopedModalRunner runner(Answer());
    for (const char* name : {"ToolButton2", "ToolButton3", "ToolButton8", "ToolButton10"})
        EXPECT_FALSE(Find(name)->isEnabled()) << name;
    auto* memo = Find<QPlainTextEdit>("StatusMemo");
    form->ShowStatus(QString("A line longer than the status line. ").repeated(40), false);
    ASSERT_GT(memo->verticalScrollBar()->maximum(), 0);
    memo->setFocus();
    Key(Qt::Key_Space);
    EXPECT_EQ(memo->verticalScrollBar()->value(), 0);
    for (const Qt::Key key : {Qt::Key_Left, Qt::Key_Right}) {
        Find("ToolButton1")->setFocus();
        Key(key);
        EXPECT_EQ(QApplication::focusWidget(), Find("ToolButton1")) << key;
    }

    openFile = Clip("twenty.avi", 20);
    form->OpenClick();
    bool closable = false;
    DuringRun([&] {
        closable = Find("ToolButton2")->isEnabled();
        Key(Qt::Key_W, Qt::ControlModifier);
    });
    form->ConvertClick();
    EXPECT_TRUE(closable);
    EXPECT_FALSE(form->AVIPlayer1().FileName().empty());
}

// A number field keeps its editing keys; a paste keeps its digits; a typed
// letter, Space included, is refused with the box.
TEST_F(WindowKeysTest, NumberFieldsKeepTheirEditingKeys) {
    struct Row {
        std::vector<QKeyCombination> keys;
        const char* text;
        int boxes;
    };
    const Row rows[] = {
        {{Qt::Key_Home, Qt::Key_Delete}, "23", 0},
        {{Qt::Key_Left, Qt::Key_Backspace}, "13", 0},
        {{Qt::Key_Home, Qt::Key_End, Qt::Key_9}, "1239", 0},
        {{Qt::CTRL | Qt::Key_A, Qt::CTRL | Qt::Key_X}, "", 0},
        {{Qt::CTRL | Qt::Key_A, Qt::CTRL | Qt::Key_C, Qt::Key_End, Qt::CTRL | Qt::Key_V},
         "123123",
         0},
        {{Qt::CTRL | Qt::Key_A, Qt::Key_Right, Qt::Key_Left, Qt::Key_Space, Qt::Key_X}, "123", 2},
    };
    TScopedModalRunner runner(Answer());
    openFile = Clip("five.avi", 5);
    form->OpenClick();
    Find<QToolButton>("ToolButton8")->click();
    form->AVIPlayer1().SetPosition(3);
    auto* field = Find<QLineEdit>("StartEdit");
    for (const Row& row : rows) {
        boxes.clear();
        field->setText("123");
        field->setFocus();
        for (const QKeyCombination key : row.keys)
            QTest::keyClick(field, key.key(), key.keyboardModifiers());
        EXPECT_EQ(field->text(), row.text);
        EXPECT_EQ(boxes.size(), row.boxes) << row.text;
    }
    EXPECT_EQ(form->AVIPlayer1().Position(), 3) << "Left and Right moved the caret, not the clip";
    QApplication::clipboard()->setText("4 x5-6");
    field->clear();
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "456");
}

// Tab reaches every command button, which shows a ring and is clicked by
// Return, Enter or Space; names for assistive technology; hints name their keys.
TEST_F(WindowKeysTest, ButtonsTakeTheFocusAndAreNamed) {
    TScopedModalRunner runner(Answer());
    QSet<QString> reached;
    for (int i = 0; i < 40; ++i) {
        Key(Qt::Key_Tab);
        reached << QApplication::focusWidget()->objectName();
    }
    for (const char* name :
         {"OpenButton", "SaveButton", "ConvertButton", "MailButton", "WebsiteButton", "HelpButton",
          "ToolButton1", "ConvertAviButton", "MinimizeButton", "CloseButton", "StatusMemo"})
        EXPECT_TRUE(reached.contains(name)) << name;
    EXPECT_FALSE(reached.contains("edit1"));

    auto* open = Find<TImageButton>("OpenButton");
    const QImage unfocused = open->grab().toImage();
    open->setFocus();
    EXPECT_NE(open->grab().toImage(), unfocused) << "a focus ring";
    int clicks = 0;
    open->OnClick = [&clicks] { ++clicks; };
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space})
        Key(key);
    QSignalSpy tool(Find<QToolButton>("ToolButton1"), &QToolButton::clicked);
    Find("ToolButton1")->setFocus();
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space})
        Key(key);
    EXPECT_EQ(clicks + tool.count(), 5);

    for (TImageButton* button : form->findChildren<TImageButton*>()) {
        const QString expected =
            button->objectName() == "MaximizeButton" ? QString("Maximize") : button->toolTip();
        EXPECT_EQ(button->accessibleName(), expected) << button->objectName().data();
    }
    EXPECT_EQ(Find("StartEdit")->accessibleName(), "Start Frame");
    EXPECT_EQ(Find("DitherModeBox")->accessibleName(), "DitherMode");
    QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), open->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(open, &hover);
    EXPECT_EQ(QToolTip::text(), "Open an AVI file (Ctrl+O)");
    EXPECT_EQ(open->toolTip(), "Open an AVI file");
    QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton);
    EXPECT_EQ(open->accessibleName(), "Open a GIF image");
}

// What a person meets after the first minute: the chain between Width and
// Height is on the Tab road at its place; a double click on either convert
// button runs the whole clip; a list or the status line with the focus shows
// a ring; Save
// without a GIF and a GIF without a frame say why nothing happens;
// Ctrl+Shift+Tab switches tabs.
TEST_F(WindowKeysTest, SecondLookFaultsStayMended) {
    TScopedModalRunner runner(Answer());
    openFile = Clip("twenty.avi", 20);
    form->OpenClick();
    Find("HeightEdit")->setFocus();
    Key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "KeepAspectButton");
    Key(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "DelayEdit");

    for (const char* run : {"ConvertButton", "ConvertAviButton"}) {
        const QString stop = QString::fromLatin1(run).replace("Convert", "Stop");
        DuringRun([this, stop] {
            auto* shown = form->findChild<QWidget*>(stop);
            ASSERT_TRUE(shown->isVisible()) << stop.toStdString();
            QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(8, 8), QPointF(8, 8),
                               Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(shown, &second);
            QTest::mouseRelease(shown, Qt::LeftButton, {}, QPoint(8, 8));
        });
        QTest::mouseClick(Find(run), Qt::LeftButton, {}, QPoint(8, 8));
        EXPECT_EQ(Find<QLabel>("ReportFrameCountLabel")->text(), "20") << run;
        EXPECT_FALSE(form->StatusText().startsWith("Stopped after ")) << run;
    }

    // Ctrl+W and Ctrl+Tab wait for the run: closing the clip or leaving its
    // tab would empty the fields it reads.
    boxes.clear();
    DuringRun([this] {
        Key(Qt::Key_W, Qt::ControlModifier);
        Key(Qt::Key_Tab, Qt::ControlModifier);
    });
    Key(Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(form->ActivePage(), 0);
    EXPECT_FALSE(form->AVIPlayer1().FileName().empty());
    EXPECT_EQ(boxes, QStringList{QString::fromLatin1(jobmsg::Finished)});

    const auto ringPixels = [](QWidget* control) {
        const QImage face = control->grab().toImage();
        int count = 0;
        for (int y = 0; y < face.height(); ++y)
            for (int x = 0; x < face.width(); ++x)
                count += face.pixelColor(x, y) == QColor(0x1f, 0x21, 0x46) ? 1 : 0;
        return count;
    };
    for (const char* name : {"DitherModeBox", "StatusMemo"}) {
        QWidget* control = Find(name);
        Find("StartEdit")->setFocus();
        const int unfocused = ringPixels(control);
        control->setFocus();
        EXPECT_GT(ringPixels(control), unfocused + control->width()) << "a ring: " << name;
    }

    // Stopped once some frames are converted, so that the preview shows a still.
    int pumps = 0;
    std::function<void()> stopLater = [&] {
        if (++pumps < 4)
            DuringRun(stopLater);
        else
            Key(Qt::Key_Escape);
    };
    DuringRun(stopLater);
    form->ConvertClick();
    ASSERT_TRUE(form->StatusText().startsWith("Stopped after "));
    ASSERT_FALSE(form->StatusText().startsWith("Stopped after 0 "));
    saveFile = KeysPath("after-stop.gif");
    QFile::remove(saveFile);
    Key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(form->StatusText(), QString::fromLatin1(NothingToSaveText));
    EXPECT_FALSE(QFile::exists(saveFile));

    const QString cut = KeysPath("cut-short.gif");
    QFile file(cut);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("GIF89a\x10\x00\x10\x00garbage", 17));
    file.close();
    QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton);
    ASSERT_EQ(form->ActivePage(), 1);
    openFile = cut;
    form->OpenClick();
    EXPECT_EQ(form->StatusText(), QString::fromLatin1(GifWithoutFramesText));
    // Ctrl+Shift+Tab in the form an X11 keyboard map gives it.
    Key(Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->ActivePage(), 0);
}

} // namespace
} // namespace framolo

#include "test_window_keys.moc"
