// What the window puts in front of a person: the players' frames, the empty
// previews, the status line's messages, the method lists and the boxes that
// refuse a run. Files are made at test time with the ffmpeg command line;
// every dialog and box is answered through the modal seam.
#include "app/form_main.h"
#include "app/main_texts.h"
#include "clip_tools.h"
#include "controls/modal_seam.h"
#include "controls/search_combo_box.h"
#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "preview/gif_preview.h"
#include "window_fixture.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>

namespace framolo {
namespace {

// A file in the running test's own folder, removed after the test.
QString WorkPath(const QString& name) {
    return QString::fromStdString(test::WorkPath(name.toStdString()));
}

// A file made once by ffmpeg from a lavfi source, in the folder the tests
// share, under a private name first
// so that test programs running side by side never read half of it.
QString MakeFile(const QString& name, const std::string& source, const std::string& options) {
    const QString path = QString::fromStdString(test::ClipPath("pictures-" + name.toStdString()));
    if (!QFileInfo::exists(path)) {
        const QString part = path +
                             QStringLiteral(".part%1.").arg(QCoreApplication::applicationPid()) +
                             QFileInfo(name).suffix();
        const std::string command = "ffmpeg -loglevel error -y -f lavfi -i " + source + " " +
                                    options + " '" + part.toStdString() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        if (!QFile::rename(part, path))
            QFile::remove(part);
    }
    return path;
}

// A clip of one colour: its bottom-left pixel's colour fills all of it.
QString SolidClip(const char* name, const char* colour, int frames = 3) {
    return MakeFile(QString::fromLatin1(name),
                    std::string("color=c=") + colour + ":size=32x24:rate=10",
                    "-frames:v " + std::to_string(frames) + " -c:v rawvideo -pix_fmt bgr24");
}

bool Near(const QColor& a, const QColor& b, int tolerance = 8) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && a.alpha() == 255;
}

std::string Name(const QColor& colour) {
    return colour.name(QColor::HexArgb).toStdString();
}

class WindowPicturesTest : public TShownWindowTest {
protected:
    QLineEdit* Field(const char* name) const { return Find<QLineEdit>(name); }

    // Open dialogs choose openFile, save dialogs saveFile; boxes are noted
    // as "title|text" and closed.
    TModalRunner Answer() {
        return [this](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                boxes << box->windowTitle() + "|" + box->text();
                return static_cast<int>(QMessageBox::Ok);
            }
            auto& files = static_cast<QFileDialog&>(dialog);
            files.selectFile(files.acceptMode() == QFileDialog::AcceptOpen ? openFile : saveFile);
            return static_cast<int>(QDialog::Accepted);
        };
    }
    void Open(const QString& path) {
        openFile = path;
        form->OpenClick();
    }

    QStringList boxes;
    QString openFile;
    QString saveFile;
};

// Both players show every pixel of their frames, the ones of the bottom-left
// pixel's colour too: a clip of one colour shows that colour, not the page.
TEST_F(WindowPicturesTest, BothPlayersShowTheirFramesWhole) {
    TScopedModalRunner runner(Answer());
    // Each road ends with a player and the colour its clip holds.
    struct Road {
        const char* what;
        std::function<std::pair<TAVIPlayer*, QColor>()> play;
    };
    const Road roads[] = {
        {"the source clip on the first page",
         [&] {
             Open(SolidClip("solid.avi", "0xC81E32"));
             form->ToolButton7Click();
             return std::pair(&form->AVIPlayer1(), QColor(200, 30, 50));
         }},
        {"the written clip on the second page",
         [&] {
             QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton);
             Open(MakeFile("solid.gif", "color=c=red:size=40x30:rate=10", "-frames:v 3"));
             saveFile = WorkPath("solid-back.avi");
             QFile::remove(saveFile);
             form->ConvertGifClick();
             form->AVIPlayer2().SetPosition(0);
             // The written clip's top-left colour, the colour of most of it (the
             // GIF is dithered), as ffmpeg decodes it.
             const auto frames = test::DecodeWithFfmpeg(saveFile.toStdString(), 40, 30);
             const std::vector<std::uint8_t> bgr =
                 frames.empty() ? std::vector<std::uint8_t>(3) : frames[0];
             return std::pair(&form->AVIPlayer2(), QColor(bgr[2], bgr[1], bgr[0]));
         }},
    };
    for (const Road& road : roads) {
        const auto [player, colour] = road.play();
        EXPECT_FALSE(player->Transparent()) << road.what;
        EXPECT_EQ(player->Color(), QGuiApplication::palette().color(QPalette::WindowText));
        ASSERT_GT(player->FrameCount(), 0) << road.what << boxes.join("\n").toStdString();
        const QColor shown = player->grab().toImage().pixelColor(0, 0);
        EXPECT_TRUE(Near(shown, colour))
            << road.what << " shows " << Name(shown) << " for " << Name(colour);
    }
}

// Both method lists show every item whole when dropped down; closed, an item
// too long for the box ends at a whole word with an ellipsis and shows whole
// as the box's hint.
TEST_F(WindowPicturesTest, MethodListsNeverCutAWord) {
    for (const char* name : {"ColorReductionBox", "DitherModeBox"}) {
        auto* box = Find<TSearchComboBox>(name);
        form->findChild<QWidget*>("ParameterGroup")->setEnabled(true);
        box->showPopup();
        QAbstractItemView* list = box->view();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
        for (int i = 0; i < box->count(); ++i) {
            const QModelIndex index = list->model()->index(i, box->modelColumn());
            EXPECT_GE(list->viewport()->width(), list->sizeHintForIndex(index).width())
                << name << " drops down " << box->itemText(i).toStdString() << " cut";
        }
        box->hidePopup();
        for (int i = 0; i < box->count(); ++i) {
            box->setCurrentIndex(i);
            const QString item = box->itemText(i);
            const QString shown = box->ShownText();
            const std::string what = std::string(name) + " shows '" + shown.toStdString() + "'";
            EXPECT_LE(box->fontMetrics().horizontalAdvance(shown), box->TextRect().width()) << what;
            if (shown == item) {
                EXPECT_TRUE(box->toolTip().isEmpty()) << what;
                continue;
            }
            ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << what;
            const QString kept = shown.chopped(1);
            EXPECT_FALSE(kept.isEmpty()) << what;
            EXPECT_TRUE(item.startsWith(kept) && item.at(kept.size()).isSpace()) << what;
            EXPECT_EQ(box->toolTip(), item) << what;
        }
    }
}

// A range the clip cannot give, or a delay below 0, is refused before any
// work in an error box naming the fields and the clip's frames; the result of
// the run before stays as it was.
TEST_F(WindowPicturesTest, ARunTheFieldsCannotDescribeIsRefusedAndTheResultStays) {
    TScopedModalRunner runner(Answer());
    Open(SolidClip("twenty.avi", "0x336699", 20));
    form->ConvertAviClick();
    ASSERT_EQ(boxes.size(), 1) << boxes.join("\n").toStdString();
    const TGraphic* result = form->ImageGifPreview().Picture();
    ASSERT_NE(dynamic_cast<const TGIFDocument*>(result), nullptr);
    const QString within = QStringLiteral(": choose a range within the clip's frames 0 to 19");
    struct Case {
        const char *start, *end, *delay;
        QString box;
    };
    const Case cases[] = {
        {"10", "5", "100", "Start Frame 10 comes after End Frame 5" + within},
        {"0", "20", "100", "End Frame 20 is outside the clip" + within},
        {"25", "30", "100", "Start Frame 25 is outside the clip" + within},
        {"0", "19", "-1",
         "Frame Delay -1: the clip gives no frame rate to take a delay from; type the delay each "
         "frame shows for, in milliseconds"},
    };
    for (const Case& c : cases) {
        Field("StartEdit")->setText(c.start);
        Field("EndEdit")->setText(c.end);
        Field("DelayEdit")->setText(c.delay);
        boxes.clear();
        form->ConvertClick();
        ASSERT_EQ(boxes.size(), 1) << c.start << "-" << c.end;
        EXPECT_EQ(boxes[0].toStdString(), ("Error|" + c.box).toStdString());
        EXPECT_EQ(form->ImageGifPreview().Picture(), result) << "the earlier result stays";
        EXPECT_EQ(Find<QLabel>("ReportFrameCountLabel")->text(), "20");
        EXPECT_TRUE(Find("ConvertAviButton")->isVisible());
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }
}

// Every message of the status line is read whole, from its first word on, in
// the window's font and in one half as large again: the line scrolls to its
// page-down place and still shows the message's first line and all that follows.
TEST_F(WindowPicturesTest, EveryStatusMessageShowsWhole) {
    const QString written =
        QStringLiteral("/home/someone/Videos/holidays/2026/the-beach-at-dusk.avi");
    const std::pair<QString, bool> messages[] = {
        {WelcomeText, true},       {GifTabText, true},
        {AviOpenedText, true},     {GifOpenedText, true},
        {jobmsg::Finished, true},  {QString::fromLatin1(jobmsg::WorkingFinished) + written, false},
        {GifSavedText, true},      {"Stopped after 233 of 271 frames", true},
        {NothingToSaveText, true}, {GifWithoutFramesText, true},
    };
    auto* memo = Find<QPlainTextEdit>("StatusMemo");
    const QFont original = form->font();
    for (const qreal scale : {1.0, 1.5}) {
        QFont font = original;
        font.setPointSizeF(original.pointSizeF() * scale);
        form->setFont(font);
        for (const auto& [message, scroll] : messages) {
            form->ShowStatus(message, scroll);
            const std::string what = "at " + std::to_string(scale) + ": " + message.toStdString();
            EXPECT_EQ(form->StatusText(), message);
            const QScrollBar* bar = memo->verticalScrollBar();
            EXPECT_EQ(bar->value(), 0) << what << ": the first line is out of view";
            EXPECT_EQ(bar->maximum(), 0) << what << ": lines are cut off below";
            EXPECT_GE(memo->font().pointSizeF(), 6.0) << what;
            // The same text laid out by the font's own measure fits the line.
            const QRect needed = QFontMetrics(memo->font())
                                     .boundingRect(QRect(0, 0, memo->viewport()->width() - 2, 1000),
                                                   Qt::TextWordWrap, message);
            EXPECT_LE(needed.height(), memo->viewport()->height()) << what;
        }
    }
}

} // namespace
} // namespace framolo
