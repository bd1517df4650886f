// The roads a user takes through the window, driven through the real widgets
// with clips and GIF images made at test time; every dialog and box is
// answered through the modal seam.
#include "app/form_main.h"
#include "app/main_texts.h"
#include "app/project_links.h"
#include "controls/modal_seam.h"
#include "convert/job_support.h"
#include "gif/encode/quality_table.h"
#include "gif/gif_document.h"
#include "giflib_util.h"
#include "platform/graphics/bitmap.h"
#include "preview/gif_preview.h"
#include "window_road_fixture.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace framolo {
namespace {

TEST_F(WindowRoadTest, OpeningAClipFillsTheFieldsTrackBarAndDelay) {
    TScopedModalRunner runner(Answer());
    const QString clip = MakeClip("ticks100.avi", 101);
    Open(clip);
    ASSERT_TRUE(boxes.isEmpty()) << boxes.join("\n").toStdString();
    EXPECT_EQ(form->CurrentFileName(), clip.toStdString());
    EXPECT_EQ(Text("StartEdit"), "0");
    EXPECT_EQ(Text("EndEdit"), "100");
    EXPECT_EQ(Text("WidthEdit"), "32");
    EXPECT_EQ(Text("HeightEdit"), "24");
    EXPECT_EQ(Text("DelayEdit"), "100") << "the player reports the clip's frame period";
    EXPECT_EQ(Text("StepEdit"), "1");
    EXPECT_EQ(Find<QComboBox>("ColorReductionBox")->currentText(), "Quantize  ( commend ) ");
    EXPECT_EQ(Find<QComboBox>("DitherModeBox")->currentText(), "FloydSteinberg ( commend ) ");
    EXPECT_TRUE(Enabled("ParameterGroup"));
    EXPECT_TRUE(Enabled("EndEdit"));
    auto* track = Find<QSlider>("TrackBar1");
    EXPECT_EQ(track->maximum(), 100);
    EXPECT_EQ(track->tickInterval(), 4);
    EXPECT_TRUE(track->isEnabled());
    // Playing: Play off, Pause and Stop on.
    EXPECT_FALSE(Enabled("ToolButton3"));
    EXPECT_TRUE(Enabled("ToolButton8"));
    EXPECT_TRUE(Enabled("ToolButton7"));
    EXPECT_TRUE(Enabled("ToolButton2"));
    EXPECT_TRUE(Enabled("ToolButton5"));
    EXPECT_FALSE(Enabled("ToolButton6")) << "select start needs select mode";
    EXPECT_TRUE(Find("AVIPlayer1")->isVisible());
    EXPECT_FALSE(Find("Image_avi")->isVisible());
    // 32 x 24 fits: centred, halves to even ((121 - 24) / 2 = 48.5 -> 48).
    EXPECT_EQ(Find("AVIPlayer1")->geometry(), QRect(64, 48, 32, 24));
    EXPECT_EQ(form->StatusText(), QString::fromLatin1(AviOpenedText));

    Open(MakeClip("large.avi", 3, "320x240"));
    EXPECT_EQ(Find("AVIPlayer1")->geometry(), QRect(0, 0, 160, 121))
        << "a clip larger than the panel both ways fills it";

    Open(MakeClip("ticks62.avi", 63));
    EXPECT_EQ(track->tickInterval(), 2) << "62 / 25 = 2.48";
    Open(MakeClip("ticks20.avi", 21));
    EXPECT_EQ(track->tickInterval(), 1);
    EXPECT_EQ(fileDialogs, 4);
}

TEST_F(WindowRoadTest, ConvertReportSaveAndConvertAgain) {
    TScopedModalRunner runner(Answer());
    const QString clip = MakeClip("road.avi", 20);
    Open(clip);
    Find<QLineEdit>("EndEdit")->setText("9");
    Find<QLineEdit>("StepEdit")->setText("3");
    QTest::mouseClick(Find("ConvertButton"), Qt::LeftButton, {}, QPoint(20, 20));

    ASSERT_EQ(boxes.size(), 1) << boxes.join("\n").toStdString();
    EXPECT_EQ(boxes[0], QStringLiteral("Information|") + jobmsg::Finished);
    EXPECT_EQ(form->StatusText(), QString::fromLatin1(jobmsg::Finished));
    auto* document = dynamic_cast<TGIFDocument*>(form->ImageGifPreview().Picture());
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->Frames().Count(), 4) << "frames 0, 3, 6 and 9";
    EXPECT_EQ(Text("ReportFrameCountLabel"), "4");
    EXPECT_EQ(Text("ReportWidthLabel"), "32");
    EXPECT_EQ(Text("ReportHeightLabel"), "24");
    TMemoryStream written;
    document->SaveToStream(written);
    EXPECT_EQ(Text("Filesize"), QString::number(BytesToKBRounded(written.Size())));
    EXPECT_TRUE(Find("Panel2")->isVisible());
    EXPECT_EQ(Find("_kb")->x(), Find("Filesize")->geometry().right() + 1 + 5);
    EXPECT_TRUE(Find("ImageGifPreview")->isVisible());
    EXPECT_FALSE(Find("Image_Gif")->isVisible());
    EXPECT_TRUE(Find("ConvertButton")->isVisible());
    EXPECT_FALSE(Find("StopButton")->isVisible());
    EXPECT_EQ(Find<QProgressBar>("ProgressBar")->value(), 0);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    saveFile = WorkPath("road-result.gif");
    QFile::remove(saveFile);
    QTest::mouseClick(Find("SaveButton"), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_TRUE(proposed.endsWith("/road.gif")) << proposed.toStdString();
    EXPECT_EQ(form->StatusText(), QString::fromLatin1(GifSavedText));
    EXPECT_EQ(Find<QProgressBar>("ProgressBar")->value(), 0) << "saving ends at 0";
    EXPECT_EQ(Find<QProgressBar>("ProgressBar")->maximum(), 100);
    const test::GiflibDecoded decoded = test::GiflibDecode(ReadBytes(saveFile));
    ASSERT_TRUE(decoded.Ok) << decoded.Error;
    EXPECT_EQ(decoded.Width, 32);
    EXPECT_EQ(decoded.Height, 24);
    ASSERT_EQ(decoded.Frames.size(), 4U);
    EXPECT_EQ(decoded.Frames[0].Delay, 10) << "100 ms in hundredths";
    EXPECT_EQ(decoded.LoopCount, 0);

    // The fields are read again on the next run.
    Find<QLineEdit>("WidthEdit")->setText("16");
    Find<QLineEdit>("HeightEdit")->setText("12");
    Find<QLineEdit>("StepEdit")->setText("1");
    form->ConvertClick();
    document = dynamic_cast<TGIFDocument*>(form->ImageGifPreview().Picture());
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->Frames().Count(), 10);
    EXPECT_EQ(document->Width(), 16);
    EXPECT_EQ(Text("ReportWidthLabel"), "16");
    EXPECT_EQ(Text("ReportFrameCountLabel"), "10");
}

// The two best-quality items write what framolo-cli writes with the same
// settings, show those bytes and save them; the preview animates the
// optimised frames (holes and rectangles) as a viewer shows them.
TEST_F(WindowRoadTest, BestQualityItemsWriteShowAndSaveTheCommandLinesBytes) {
    TScopedModalRunner runner(Answer());
    struct TCase {
        int Item;
        int Dither;
        const char* Options;
        bool FewColoursFirst = false;
    };
    // A still picture with two small squares moving apart from each other:
    // the frames after the first store the rectangle around both, with the
    // still picture between them as holes.
    const QString clipMoving = WorkPath("best.avi");
    const std::string make =
        "ffmpeg -loglevel error -y -f lavfi -i \"mandelbrot=s=48x32:rate=10,trim=end_frame=1,"
        "loop=loop=-1:size=1[bg];color=c=red:s=6x6:rate=10,split[a][b];[bg][a]overlay="
        "x='2+2*n':y=2:shortest=1[m];[m][b]overlay=x='40-2*n':y=24:shortest=1\" -frames:v 12 "
        "-c:v rawvideo -pix_fmt bgr24 '" +
        clipMoving.toStdString() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0) << make;
    // A first frame of two colours, then colourful ones: later tables are deeper
    // than the global one.
    const QString fewFirst = WorkPath("best-few-first.avi");
    const std::string makeFew =
        "ffmpeg -loglevel error -y -f lavfi -i \"color=c=black:s=48x32:rate=10:d=0.1,"
        "drawbox=x=8:y=8:w=8:h=8:c=white:t=fill[a];testsrc2=s=48x32:rate=10:d=0.5[b];"
        "[a][b]concat=n=2:v=1\" -c:v rawvideo -pix_fmt bgr24 '" +
        fewFirst.toStdString() + "'";
    ASSERT_EQ(std::system(makeFew.c_str()), 0) << makeFew;
    for (const TCase& c :
         {TCase{8, 1, "--reduction best --dither floydsteinberg"},
          TCase{9, 0, "--reduction best --optimize --dither nearest --quality "},
          TCase{9, 1, "--reduction best --optimize --dither floydsteinberg --quality "},
          TCase{8, 0, "--reduction best --dither nearest", true},
          TCase{9, 0, "--reduction best --optimize --dither nearest --quality ", true}}) {
        SCOPED_TRACE(std::string(c.Options) + (c.FewColoursFirst ? " (few colours first)" : ""));
        const QString& clip = c.FewColoursFirst ? fewFirst : clipMoving;
        Open(clip);
        auto* reduction = Find<QComboBox>("ColorReductionBox");
        ASSERT_EQ(reduction->count(), 10);
        EXPECT_EQ(reduction->itemText(8), "Best quality");
        EXPECT_EQ(reduction->itemText(9), "Best quality, smaller file");
        reduction->setCurrentIndex(c.Item);
        Find<QComboBox>("DitherModeBox")->setCurrentIndex(c.Dither);
        form->ConvertAviClick();
        auto* shown = dynamic_cast<TGIFDocument*>(form->ImageGifPreview().Picture());
        ASSERT_NE(shown, nullptr);
        saveFile = WorkPath(QStringLiteral("best-%1-%2.gif").arg(c.Item).arg(c.Dither));
        QFile::remove(saveFile);
        form->SaveClick();
        const std::vector<std::uint8_t> saved = ReadBytes(saveFile);

        const std::string cli = WorkPath("best-cli.gif").toStdString();
        const std::string command = std::string(FRAMOLO_CLI_PATH) + " avi2gif '" +
                                    clip.toStdString() + "' '" + cli + "' --quiet " + c.Options +
                                    (c.Item == 9 ? std::to_string(kDefaultQuality) : "");
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        EXPECT_EQ(saved, ReadBytes(QString::fromStdString(cli)));
        TMemoryStream held;
        shown->SaveToStream(held);
        EXPECT_EQ(std::vector<std::uint8_t>(held.Memory(), held.Memory() + held.Size()), saved);
        if (c.Item != 9 || c.FewColoursFirst)
            continue;

        // At its own size the preview shows, after frame k, what a viewer
        // shows: the holes keep the frames before.
        const test::GiflibDecoded decoded = test::GiflibDecode(saved);
        ASSERT_TRUE(decoded.Ok) << decoded.Error;
        const auto screens = test::GiflibComposite(decoded);
        bool holes = false;
        for (const auto& frame : decoded.Frames)
            holes = holes || frame.TransparentIndex >= 0;
        EXPECT_TRUE(holes);
        EXPECT_LT(decoded.Frames[1].Width * decoded.Frames[1].Height, 48 * 32);
        TGIFPreview& preview = form->ImageGifPreview();
        preview.SetStretch(false);
        preview.SetCenter(false);
        std::vector<QImage> snapshots;
        shown->OnFrameAfter = [&](TPersistent*) { snapshots.push_back(preview.Snapshot()); };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (snapshots.size() < screens.size() && std::chrono::steady_clock::now() < deadline)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        shown->OnFrameAfter = nullptr;
        ASSERT_GE(snapshots.size(), screens.size());
        for (std::size_t k = 0; k < screens.size(); ++k) {
            int wrong = 0;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 48; ++x) {
                    const QColor got = snapshots[k].pixelColor(x, y);
                    const std::uint8_t* want = screens[k].data() + 3 * (y * 48 + x);
                    wrong += got != QColor(want[0], want[1], want[2]) ? 1 : 0;
                }
            EXPECT_EQ(wrong, 0) << "frame " << k;
        }
    }
}

TEST_F(WindowRoadTest, StopInTheMiddleKeepsTheLastFrameAndSaveDoesNothing) {
    TScopedModalRunner runner(Answer());
    form->SaveClick();
    EXPECT_EQ(fileDialogs, 0) << "nothing converted yet, nothing to save";
    const QList<QAction*> menu = Find("ImageGifPreview")->actions();
    ASSERT_EQ(menu.size(), 1);
    EXPECT_EQ(menu[0]->objectName(), "SavetheGIFimage1");
    EXPECT_EQ(menu[0]->text(), "Save the current GIF image");

    Open(MakeClip("road.avi", 20));
    DuringRun(3, [this] {
        QTest::mouseClick(Find("StopAviButton"), Qt::LeftButton, {}, QPoint(20, 20));
    });
    form->ConvertAviClick();
    EXPECT_TRUE(boxes.isEmpty()) << "no success box after a stop";
    auto* progress = Find<QProgressBar>("ProgressBar");
    EXPECT_EQ(progress->value(), progress->minimum()) << "a stopped run empties the bar";
    EXPECT_NE(dynamic_cast<TBitmap*>(form->ImageGifPreview().Picture()), nullptr)
        << "the last converted frame, as a still picture";
    const int converted = Text("ReportFrameCountLabel").toInt();
    EXPECT_GT(converted, 0);
    EXPECT_LT(converted, 20);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Stopped after %1 of 20 frames").arg(converted));
    EXPECT_EQ(Find<QLabel>("Filesize")->text(), "stopped") << "no GIF, so no file size";
    EXPECT_FALSE(Find("_kb")->isVisible());
    EXPECT_TRUE(Find("ConvertAviButton")->isVisible());

    const int dialogsBefore = fileDialogs;
    form->SaveClick();
    EXPECT_EQ(fileDialogs, dialogsBefore) << "nothing to save";
    EXPECT_TRUE(boxes.isEmpty());
}

// Closing the window during a run stops the run, so the program ends with it.
TEST_F(WindowRoadTest, ClosingTheWindowDuringARunStopsIt) {
    TScopedModalRunner runner(Answer());
    form->show();
    Open(MakeClip("road.avi", 20));
    DuringRun(3, [this] { form->close(); });
    form->ConvertClick();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->StopRequested());
    EXPECT_TRUE(boxes.isEmpty()) << "no success box after a stop";
    EXPECT_LT(Text("ReportFrameCountLabel").toInt(), 20);
}

TEST_F(WindowRoadTest, SwitchingTabsDuringARunEndsItWithTheConversionError) {
    TScopedModalRunner runner(Answer());
    Open(MakeClip("road.avi", 20));
    DuringRun(2, [this] { QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton); });
    form->ConvertClick();
    EXPECT_EQ(form->ActivePage(), 1);
    ASSERT_EQ(boxes.size(), 1) << boxes.join("\n").toStdString();
    EXPECT_TRUE(boxes[0].startsWith("Framolo|'") &&
                boxes[0].endsWith("is not a valid integer value"))
        << boxes[0].toStdString();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(WindowRoadTest, AFileThatIsNotAClipLeavesEverythingAsItWas) {
    TScopedModalRunner runner(Answer());
    const QString clip = MakeClip("road.avi", 20);
    Open(clip);
    const QString bad = WorkPath("not-a-clip.avi");
    {
        QFile file(bad);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("RIFF but nothing a reader could play");
    }
    Open(bad);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0], QStringLiteral("Error|Error, Unknown AVI format, please contact with "
                                       "author (") +
                            SupportMailAddress + ")");
    EXPECT_EQ(form->CurrentFileName(), clip.toStdString());
    EXPECT_EQ(Text("EndEdit"), "19");
    EXPECT_EQ(form->AVIPlayer1().FileName(), clip.toStdString()) << "the clip stays open";
}

// A run that converts no frame says so, not what the GIF writer says of a GIF
// without frames.
TEST_F(WindowRoadTest, StepsStopAtBothEndsOfTheClip) {
    TScopedModalRunner runner(Answer());
    Open(MakeClip("road.avi", 20));
    QTest::mouseClick(Find<QToolButton>("ToolButton7"), Qt::LeftButton);
    form->AVIPlayer1().repaint();
    EXPECT_EQ(Text("edit1"), "0");
    QTest::mouseClick(Find<QToolButton>("ToolButton10"), Qt::LeftButton);
    form->AVIPlayer1().repaint();
    EXPECT_EQ(Text("edit1"), "0");
    EXPECT_EQ(form->AVIPlayer1().Position(), 0);

    form->AVIPlayer1().SetPosition(19);
    form->AVIPlayer1().repaint();
    EXPECT_EQ(Text("edit1"), "19");
    QTest::mouseClick(Find<QToolButton>("ToolButton11"), Qt::LeftButton);
    form->AVIPlayer1().repaint();
    EXPECT_EQ(form->AVIPlayer1().Position(), 19);
    EXPECT_EQ(Text("edit1"), "19");
    EXPECT_TRUE(Enabled("ToolButton3"));
    EXPECT_FALSE(Enabled("ToolButton8"));

    // Select mode marks the whole clip, then its start and end at the frame shown.
    QTest::mouseClick(Find<QToolButton>("ToolButton5"), Qt::LeftButton);
    EXPECT_EQ(form->SelectModeIcon(), 6);
    EXPECT_TRUE(Enabled("ToolButton6"));
    form->AVIPlayer1().SetPosition(5);
    form->AVIPlayer1().repaint();
    QTest::mouseClick(Find<QToolButton>("ToolButton6"), Qt::LeftButton);
    EXPECT_EQ(Text("StartEdit"), "5");
    QTest::mouseClick(Find<QToolButton>("ToolButton5"), Qt::LeftButton);
    EXPECT_EQ(form->SelectModeIcon(), 5);
    EXPECT_EQ(Text("StartEdit"), "0");
    EXPECT_EQ(Text("EndEdit"), "19");
}

TEST_F(WindowRoadTest, NumericFieldsTakeDigitsOnlyAndTheStepMustBeAboveZero) {
    TScopedModalRunner runner(Answer());
    Open(MakeClip("road.avi", 20));
    auto* start = Find<QLineEdit>("StartEdit");
    start->setFocus();
    start->clear();
    QTest::keyClicks(start, "1a2");
    EXPECT_EQ(start->text(), "12");
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0], "Error|Error input, only accept integer!");
    QTest::keyClick(start, Qt::Key_Backspace);
    EXPECT_EQ(start->text(), "1");
    EXPECT_EQ(boxes.size(), 1);

    auto* step = Find<QLineEdit>("StepEdit");
    step->setText("00");
    step->setFocus();
    start->setFocus();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[1], "Error|An integer of greater than zero is required!");
    EXPECT_TRUE(step->text().isEmpty());

    // An empty step is caught when the job starts.
    form->ConvertAviClick();
    ASSERT_EQ(boxes.size(), 3);
    EXPECT_EQ(boxes[2], "Warning|Please specify a STEP value for converting!");
}

TEST_F(WindowRoadTest, GifToAviOpensConvertsAndPlaysTheWrittenClip) {
    TScopedModalRunner runner(Answer());
    QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton);
    const QString gif = MakeGif();
    Open(gif);
    auto* document = dynamic_cast<TGIFDocument*>(form->Gifpreview_B().Picture());
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->Frames().Count(), 5);
    EXPECT_EQ(form->StatusText(), QString::fromLatin1(GifOpenedText));
    EXPECT_TRUE(Find("Gifpreview_B")->isVisible());
    EXPECT_FALSE(Find("ImageGifSplash_B")->isVisible());
    EXPECT_EQ(Find("Gifpreview_B")->geometry(), QRect(118, 92, 40, 30));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    saveFile = WorkPath("road-back");
    QFile::remove(saveFile + ".avi");
    QTest::mouseClick(Find("ConvertButton"), Qt::LeftButton, {}, QPoint(20, 20));
    const QString written = saveFile + ".avi";
    EXPECT_TRUE(proposed.endsWith("/road.avi")) << proposed.toStdString();
    EXPECT_EQ(form->CurrentFileName(), written.toStdString()) << "the extension .avi is added";
    ASSERT_TRUE(QFileInfo::exists(written));
    ASSERT_EQ(boxes.size(), 1) << boxes.join("\n").toStdString();
    EXPECT_EQ(boxes[0], "Framolo|Converting is finished,your GIF image is saved to  \r" + written);
    EXPECT_EQ(form->StatusText(),
              QStringLiteral("   Working is finished successfully!   Your GIF image is saved to ") +
                  written);
    EXPECT_TRUE(Find("AVIPlayer2")->isVisible());
    EXPECT_FALSE(Find("ImageAviSplash_B")->isVisible());
    EXPECT_EQ(form->AVIPlayer2().FrameCount(), 5);
    EXPECT_EQ(Find("AVIPlayer2")->geometry(), Find("Gifpreview_B")->geometry());

    // Once more, to another kind: the GIF is still the page's document.
    saveFile = WorkPath("road-again");
    saveFilter = QStringLiteral("WebM video ( *.webm) (*.webm)");
    proposed.clear();
    form->ConvertClick();
    EXPECT_TRUE(proposed.endsWith("/road.avi")) << proposed.toStdString();
    ASSERT_EQ(boxes.size(), 2) << boxes.join("\n").toStdString();
    EXPECT_TRUE(boxes[1].startsWith("Framolo|Converting is finished")) << boxes[1].toStdString();
    EXPECT_TRUE(QFileInfo::exists(saveFile + ".webm"));
    EXPECT_EQ(form->AVIPlayer2().FrameCount(), 5);
}

// The save dialog of tab 2 offers MP4 and WebM after the AVI; a name typed
// without an extension takes the chosen kind's, and the clip plays in the player.
TEST_F(WindowRoadTest, GifToVideoWritesTheKindChosenInTheDialog) {
    TScopedModalRunner runner(Answer());
    QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton);
    Open(MakeGif());
    saveFile = WorkPath("road-clip");
    saveFilter = QStringLiteral("MP4 video ( *.mp4) (*.mp4)");
    QFile::remove(saveFile + ".mp4");
    QTest::mouseClick(Find("ConvertButton"), Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(saveFilters, (QStringList{QStringLiteral("Avi File ( *.avi) (*.avi)"),
                                        QStringLiteral("MP4 video ( *.mp4) (*.mp4)"),
                                        QStringLiteral("WebM video ( *.webm) (*.webm)")}));
    const QString written = saveFile + ".mp4";
    EXPECT_EQ(form->CurrentFileName(), written.toStdString());
    ASSERT_TRUE(QFileInfo::exists(written));
    ASSERT_EQ(boxes.size(), 1) << boxes.join("\n").toStdString();
    EXPECT_TRUE(Find("AVIPlayer2")->isVisible());
    EXPECT_EQ(form->AVIPlayer2().FrameCount(), 5);
}

TEST_F(WindowRoadTest, ADroppedFileOpensOnThePageForItsKind) {
    TScopedModalRunner runner(Answer());
    const auto drop = [this](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const QPoint at(300, 200);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &dropped);
    };
    drop(MakeGif());
    EXPECT_EQ(form->ActivePage(), 1);
    EXPECT_NE(dynamic_cast<TGIFDocument*>(form->Gifpreview_B().Picture()), nullptr);

    const QString clip = MakeClip("road.avi", 20);
    drop(clip);
    EXPECT_EQ(form->ActivePage(), 0);
    EXPECT_EQ(form->AVIPlayer1().FileName(), clip.toStdString());
    EXPECT_EQ(Text("EndEdit"), "19");
    EXPECT_EQ(fileDialogs, 0) << "no dialog for a dropped file";
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(WindowRoadTest, AGifThatCannotBeReadReachesTheErrorDisplay) {
    TScopedModalRunner runner(Answer());
    QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton);
    const QString bad = WorkPath("broken.gif");
    {
        QFile file(bad);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("GIF89a\x10\x00\x10\x00", 10);
    }
    Open(bad);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith("Framolo|")) << boxes[0].toStdString();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(form->StatusText(), QString::fromLatin1(GifTabText)) << "the status line stays";
    // The empty preview keeps the page's colour.
    ASSERT_TRUE(form->Gifpreview_B().isVisible());
    EXPECT_EQ(form->Gifpreview_B().grab().toImage().pixelColor(138, 106),
              QColor::fromRgb(TFormmain::PageColor));
}

} // namespace
} // namespace framolo
