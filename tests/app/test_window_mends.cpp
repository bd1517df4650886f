// Faults a person met on a walk through the window, each driven through the
// real widgets: what the window must do instead.
#include "app/background_estimate.h"
#include "app/form_main.h"
#include "app/main_texts.h"
#include "app/startup.h"
#include "app/track_bar.h"
#include "convert/job_support.h"
#include "preview/gif_preview.h"
#include "window_road_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

namespace framolo {
namespace {

using WindowMendTest = WindowRoadTest;

TEST_F(WindowMendTest, ARangeMarkedOnOneClipIsGoneOnTheNext) {
    TScopedModalRunner runner(Answer());
    Open(MakeClip("ticks100.avi", 101));
    form->ToolButton8Click();
    form->ToolButton5Click();
    const auto markAt = [&](int frame, void (TFormmain::*mark)()) {
        form->AVIPlayer1().SetPosition(frame);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return Text("edit1") == QString::number(frame); }, 300000));
        (form.get()->*mark)();
    };
    markAt(20, &TFormmain::ToolButton6Click);
    markAt(40, &TFormmain::ToolButton9Click);
    auto* track = Find<TTrackBar>("TrackBar1");
    ASSERT_EQ(track->SelStart(), 20);
    ASSERT_EQ(track->SelEnd(), 40);

    Open(MakeClip("ticks62.avi", 63));
    EXPECT_EQ(track->SelStart(), 0);
    EXPECT_EQ(track->SelEnd(), 0);
    EXPECT_EQ(form->SelectModeIcon(), 5);
    EXPECT_EQ(Text("StartEdit"), "0");
    EXPECT_EQ(Text("EndEdit"), "62");
    form->ToolButton7Click();
    form->ToolButton3Click();
    EXPECT_EQ(form->AVIPlayer1().StartFrame(), 0);
    EXPECT_EQ(form->AVIPlayer1().StopFrame(), 62) << "Play runs the whole new clip";
}

// The box before an unsaved GIF is lost: Return saves it, Escape keeps
// everything as it was.
TEST_F(WindowMendTest, ReturnSavesAndEscapeCancelsBeforeAResultIsLost) {
    const TModalRunner answer = Answer();
    for (const auto key : {Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(key == Qt::Key_Return ? "Return" : "Escape");
        int asked = 0;
        TScopedModalRunner runner([&](QDialog& dialog) {
            auto* box = qobject_cast<QMessageBox*>(&dialog);
            if (box == nullptr || box->windowTitle() != "Framolo")
                return answer(dialog);
            ++asked;
            box->show();
            QTest::keyClick(box, key);
            return box->result();
        });
        const QString first = MakeClip("road.avi", 20);
        Open(first);
        form->ConvertClick();
        ASSERT_TRUE(form->HasUnsavedResult());
        saveFile = WorkPath(QStringLiteral("asked%1.gif").arg(key));
        Open(MakeClip("ticks20.avi", 21));
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(QFileInfo::exists(saveFile), key == Qt::Key_Return);
        EXPECT_EQ(form->CurrentFileName() == first.toStdString(), key == Qt::Key_Escape);
        EXPECT_EQ(form->HasUnsavedResult(), key == Qt::Key_Escape);
    }
}

TEST_F(WindowMendTest, ARangeOfOneFrameHasAnEstimate) {
    TScopedModalRunner runner(Answer());
    Open(MakeClip("road.avi", 20));
    Find<QLineEdit>("StartEdit")->setText("7");
    Find<QLineEdit>("EndEdit")->setText("7");
    auto* estimate = Find<QLabel>("EstimateLabel");
    // Minutes: a busy machine is slow, never wrong.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !form->SizeEstimate().Busy() && !estimate->text().contains(u'\u2026'); },
        300000));
    EXPECT_TRUE(estimate->text().startsWith("About ")) << estimate->text().toStdString();
}

TEST_F(WindowMendTest, ARunShowsNoWordOfTheRunBefore) {
    TScopedModalRunner runner(Answer());
    Open(MakeClip("road.avi", 20));
    form->ConvertClick();
    ASSERT_EQ(form->StatusText(), QString::fromLatin1(jobmsg::Finished));
    ASSERT_TRUE(Find("Panel2")->isVisible());
    QString status = QStringLiteral("unread");
    bool report = true;
    QString frames = QStringLiteral("unread");
    DuringRun(3, [&] {
        status = form->StatusText();
        report = Find("Panel2")->isVisible();
        frames = Text("ReportFrameCountLabel");
        form->StopClick();
    });
    form->ConvertClick();
    EXPECT_EQ(status, QString());
    EXPECT_FALSE(report);
    EXPECT_EQ(frames, QString());
}

// Sizes no GIF can have are refused before any work, and the result of the
// run before stays.
TEST_F(WindowMendTest, ASizeNoGifCanHaveIsRefusedBeforeAnyWork) {
    TScopedModalRunner runner(Answer());
    Open(MakeClip("road.avi", 20));
    form->ConvertClick();
    TGraphic* shown = form->ImageGifPreview().Picture();
    ASSERT_NE(shown, nullptr);
    struct TCase {
        const char* Width;
        const char* Height;
        const char* Box;
    };
    const TCase cases[] = {
        {"0", "24", "Width 0: the GIF's width is 1 to 65535 pixels"},
        {"99999", "24", "Width 99999: the GIF's width is 1 to 65535 pixels"},
        {"32", "65536", "Height 65536: the GIF's height is 1 to 65535 pixels"},
        {"65535", "65535", "Width 65535 x Height 65535: a frame may have at most"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Box);
        boxes.clear();
        Find<QLineEdit>("WidthEdit")->setText(c.Width);
        Find<QLineEdit>("HeightEdit")->setText(c.Height);
        form->ConvertClick();
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_TRUE(boxes[0].startsWith(QStringLiteral("Error|") + c.Box))
            << boxes[0].toStdString();
        EXPECT_EQ(form->ImageGifPreview().Picture(), shown);
        EXPECT_EQ(Text("ReportWidthLabel"), "32");
    }
}

TEST_F(WindowMendTest, TheWindowRepaintsWhileItSavesAGif) {
    TScopedModalRunner runner(Answer());
    Open(MakeClip("road.avi", 20));
    form->ConvertClick();
    saveFile = WorkPath("repainted.gif");
    bool during = false;
    int bar = -1;
    QTimer::singleShot(0, form.get(), [&] {
        during = form->StatusText() != QString::fromLatin1(GifSavedText);
        bar = Find<QProgressBar>("ProgressBar")->value();
    });
    ASSERT_TRUE(form->SaveResult());
    EXPECT_TRUE(during) << "the window's events wait until the GIF is written";
    EXPECT_GT(bar, 0);
    EXPECT_LT(bar, 100);
}

// A run has both cores: no estimate works beside it, and it comes back after.
TEST_F(WindowMendTest, NoEstimateWorksBesideARun) {
    TScopedModalRunner runner(Answer());
    Open(MakeClip("large.avi", 30, "320x240"));
    Find<QComboBox>("DitherModeBox")->setCurrentIndex(2);
    bool busy = true;
    DuringRun(3, [&] { busy = form->SizeEstimate().Busy(); });
    form->ConvertClick();
    EXPECT_FALSE(busy);
    EXPECT_TRUE(form->SizeEstimate().Busy()) << "asked for again once the run is over";
}

// A damaged file that still opens says so in the status line, and a file
// named on the command line that is not there gets the box Open shows.
TEST_F(WindowMendTest, DamagedInputIsNamedWhenItOpens) {
    TScopedModalRunner runner(Answer());
    const auto firstHalf = [&](const QString& whole, const char* name) {
        const std::vector<std::uint8_t> bytes = ReadBytes(whole);
        const QString cut = WorkPath(name);
        std::ofstream(cut.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size() / 2));
        return cut;
    };
    Open(firstHalf(MakeClip("ticks100.avi", 101), "cut.avi"));
    ASSERT_TRUE(boxes.isEmpty()) << boxes.join("\n").toStdString();
    EXPECT_TRUE(form->StatusText().startsWith("The clip ends early: "))
        << form->StatusText().toStdString();
    EXPECT_TRUE(form->StatusText().endsWith(" of 101 frames could be read"));

    QTest::mouseClick(Find("Label_Tab1"), Qt::LeftButton);
    Open(firstHalf(MakeGif(), "cut.gif"));
    ASSERT_TRUE(boxes.isEmpty()) << boxes.join("\n").toStdString();
    EXPECT_TRUE(form->StatusText().startsWith("The GIF image is damaged ("))
        << form->StatusText().toStdString();
    Open(MakeGif());
    EXPECT_EQ(form->StatusText(), QString::fromLatin1(GifOpenedText));
}

TEST(WindowStartTest, AMissingFileOnTheCommandLineGetsTheBoxOpenShows) {
    QStringList boxes;
    TScopedModalRunner runner([&](QDialog& dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog))
            boxes << box->text();
        return 0;
    });
    TStartup started = StartFramolo(WorkPath("missing.avi"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return started.Main->isVisible(); }, 300000));
    EXPECT_EQ(boxes, QStringList{TFormmain::UnknownFormatText()});
}

} // namespace
} // namespace framolo
