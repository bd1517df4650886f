// What a person expects of a desktop program: Width and Height that keep the
// clip's aspect, a file named on the command line, dialogs that start where
// the last one ended and name file types once, links that say when nothing
// opened them, and a desktop entry that offers Framolo for its files.
#include "app/form_main.h"
#include "app/form_splash.h"
#include "app/link_opener.h"
#include "app/project_links.h"
#include "app/startup.h"
#include "clip_tools.h"
#include "controls/modal_seam.h"
#include "gif/gif_document.h"
#include "platform/avifile/video_extensions.h"
#include "preview/gif_preview.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace framolo {
namespace {

QString Clip(const char* name, int width, int height) {
    return QString::fromStdString(
        test::MakeClip(name, width, height, 3, "-c:v rawvideo -pix_fmt bgr24", "10"));
}

// The window, with every dialog answered: an open dialog notes the folder it
// starts in and chooses `openFile`; a box is noted with its title and text.
class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override { form = std::make_unique<TFormmain>(); }
    template <class T = QWidget> T* Find(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    TModalRunner Answer() {
        return [this](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                boxes << box->windowTitle() + "|" + box->text();
                selectable = box->textInteractionFlags().testFlag(Qt::TextSelectableByMouse);
                return static_cast<int>(QMessageBox::Ok);
            }
            auto& files = static_cast<QFileDialog&>(dialog);
            startedIn = files.directory().absolutePath();
            nameFilters = files.nameFilters();
            if (auto* types = files.findChild<QComboBox*>("fileTypeCombo"))
                typesShown = types->grab().toImage();
            files.selectFile(openFile);
            return static_cast<int>(QDialog::Accepted);
        };
    }

    std::unique_ptr<TFormmain> form;
    QStringList boxes;
    bool selectable = false;
    QString openFile, startedIn;
    QStringList nameFilters;
    QImage typesShown;
};

TEST_F(DesktopTest, KeepAspectSetsTheOtherSideFromTheClip) {
    TScopedModalRunner runner(Answer());
    auto* chain = Find<QToolButton>("KeepAspectButton");
    ASSERT_NE(chain, nullptr);
    EXPECT_TRUE(chain->isCheckable() && chain->isChecked()) << "on from the start";
    EXPECT_FALSE(chain->accessibleName().isEmpty());
    EXPECT_FALSE(chain->toolTip().isEmpty());
    for (auto* field : Find("ParameterGroup")->findChildren<QWidget*>()) {
        if (qobject_cast<QLineEdit*>(field) || qobject_cast<QComboBox*>(field)) {
            EXPECT_FALSE(chain->geometry().intersects(field->geometry()))
                << field->objectName().toStdString();
        }
    }

    struct TCase {
        int ClipWidth, ClipHeight;
        bool Linked;
        const char* Edited;
        const char* Typed;
        const char* Width;
        const char* Height;
    };
    const TCase cases[] = {
        {50, 30, true, "WidthEdit", "20", "20", "12"},
        {50, 30, true, "HeightEdit", "7", "12", "7"}, // 11.67
        {50, 30, true, "WidthEdit", "7", "7", "4"},   // 4.2
        {50, 30, true, "WidthEdit", "5", "5", "3"},
        {50, 30, false, "WidthEdit", "20", "20", "30"},
        // 1.25 rounds to 1, which would give back 8 were the answer an edit too.
        {64, 8, true, "WidthEdit", "10", "10", "1"},
        {64, 8, true, "WidthEdit", "3", "3", "1"}, // 0.375, at least 1
        {64, 8, true, "HeightEdit", "3", "24", "3"},
    };
    for (const TCase& c : cases) {
        const std::string name =
            "aspect" + std::to_string(c.ClipWidth) + "x" + std::to_string(c.ClipHeight) + ".avi";
        SCOPED_TRACE(std::string(c.Edited) + " " + c.Typed + " on " + name);
        openFile = Clip(name.c_str(), c.ClipWidth, c.ClipHeight);
        form->OpenClick();
        ASSERT_TRUE(boxes.isEmpty()) << boxes.join("\n").toStdString();
        chain->setChecked(c.Linked);
        auto* edited = Find<QLineEdit>(c.Edited);
        edited->clear();
        QTest::keyClicks(edited, c.Typed);
        EXPECT_EQ(Find<QLineEdit>("WidthEdit")->text(), c.Width);
        EXPECT_EQ(Find<QLineEdit>("HeightEdit")->text(), c.Height);
    }
}

TEST_F(DesktopTest, DialogsStartInTheFolderLastUsedAlsoInTheNextRun) {
    TScopedModalRunner runner(Answer());
    const QString folder = QDir(QString::fromStdString(test::WorkPath("last-folder"))).path();
    QDir().mkpath(folder);
    QFile::copy(Clip("aspect50x30.avi", 50, 30), folder + "/clip.avi");
    openFile = folder + "/clip.avi";
    form->OpenClick();
    form = std::make_unique<TFormmain>(); // the next run
    form->OpenClick();
    EXPECT_EQ(startedIn, folder);
    EXPECT_EQ(form->CurrentFileName(), openFile.toStdString());
}

TEST_F(DesktopTest, FileTypesShowTheirDescriptionOnceAndAllVideosListsEveryKind) {
    TScopedModalRunner runner(Answer());
    openFile = Clip("aspect50x30.avi", 50, 30);
    form->OpenClick();
    QStringList patterns;
    for (const char* extension : VideoFileExtensions)
        patterns << QStringLiteral("*") + extension;
    EXPECT_EQ(nameFilters, QStringList({"Microsoft Avi Files ( *.avi ) (*.avi)",
                                        "All videos (" + patterns.join(' ') + ")"}));

    // The list shows what a list holding the description alone shows.
    auto* types =
        form->findChild<QFileDialog*>("OpenDialog")->findChild<QComboBox*>("fileTypeCombo");
    ASSERT_NE(types, nullptr);
    QComboBox written;
    written.addItem("Microsoft Avi Files ( *.avi )");
    written.setFont(types->font());
    written.resize(types->size());
    EXPECT_EQ(typesShown.convertToFormat(QImage::Format_RGB32),
              written.grab().toImage().convertToFormat(QImage::Format_RGB32));
}

TEST_F(DesktopTest, ALinkNothingOpensGivesItsAddressToCopy) {
    TScopedModalRunner runner(Answer());
    QList<QUrl> asked;
    TScopedLinkOpener opener([&](const QUrl& url) {
        asked << url;
        return false;
    });
    const struct {
        const char* Button;
        QString Copyable;
    } cases[] = {
        {"HelpButton", QDir::toNativeSeparators(TFormmain::HelpFilePath())},
        {"WebsiteButton", QString::fromLatin1(ProjectWebPage)},
        {"MailButton", QString::fromLatin1(SupportMailAddress)},
    };
    for (const auto& c : cases) {
        boxes.clear();
        QTest::mouseClick(Find(c.Button), Qt::LeftButton, {}, QPoint(20, 20));
        ASSERT_EQ(boxes.size(), 1) << c.Button;
        EXPECT_TRUE(boxes[0].startsWith("Warning|No program")) << boxes[0].toStdString();
        EXPECT_TRUE(boxes[0].endsWith("\n" + c.Copyable)) << boxes[0].toStdString();
        EXPECT_TRUE(selectable) << "the address can be copied";
    }
    EXPECT_EQ(asked.size(), 3);
}

// framolo FILE: once the splash gives way, the file is open on its page.
TEST(CommandLineFile, OpensOnThePageForItsKind) {
    TScopedModalRunner runner([](QDialog&) { return 0; });
    const QString clip = Clip("aspect50x30.avi", 50, 30);
    const QString gif =
        QString::fromStdString(test::MakeClip("command-line.gif", 40, 30, 4, "", "10"));
    for (const QString& file : {clip, gif}) {
        TStartup started = StartFramolo(file);
        QSignalSpy handedOver(&started.Splash->Timer1(), &QTimer::timeout);
        started.Splash->Timer1().start(0);
        ASSERT_TRUE(handedOver.wait(5000));
        TFormmain& main = *started.Main;
        EXPECT_TRUE(main.isVisible());
        if (file == clip) {
            EXPECT_EQ(main.ActivePage(), 0);
            EXPECT_EQ(main.AVIPlayer1().FileName(), clip.toStdString());
            EXPECT_EQ(main.findChild<QLineEdit*>("WidthEdit")->text(), "50");
        } else {
            EXPECT_EQ(main.ActivePage(), 1);
            EXPECT_NE(dynamic_cast<TGIFDocument*>(main.Gifpreview_B().Picture()), nullptr);
        }
        EXPECT_EQ(main.CurrentFileName(), file.toStdString());
    }
}

// "Open with" offers Framolo for every kind of file it opens, and hands it the file.
TEST(DesktopEntry, ListsTheTypeOfEveryExtensionAndTakesAFile) {
    QFile file(QStringLiteral(FRAMOLO_DESKTOP_ENTRY));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList types;
    QString exec;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.startsWith("MimeType="))
            types = line.mid(9).split(';', Qt::SkipEmptyParts);
        if (line.startsWith("Exec="))
            exec = line.mid(5);
    }
    EXPECT_EQ(exec, "framolo %f");
    const QMimeDatabase mime;
    QStringList extensions{".gif"};
    for (const char* extension : VideoFileExtensions)
        extensions << extension;
    // An extension may name more than one type (.ts is also a translation).
    for (const QString& extension : extensions) {
        const QList<QMimeType> named = mime.mimeTypesForFileName("a" + extension);
        EXPECT_TRUE(std::any_of(named.begin(), named.end(), [&](const QMimeType& type) {
            return types.contains(type.name());
        })) << extension.toStdString();
    }
}

} // namespace
} // namespace framolo
