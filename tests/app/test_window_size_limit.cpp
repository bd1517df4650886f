// The window's size estimate, worked out in the background, and Convert
// under a size limit, driven through the real widgets with clips made at
// test time; every dialog and box is answered through the modal seam.
#include "app/background_estimate.h"
#include "app/form_main.h"
#include "clip_tools.h"
#include "controls/modal_seam.h"
#include "convert/frame_params.h"
#include "convert/size_estimate.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace framolo {
namespace {

// How long a test waits for an estimate: minutes, for a busy machine is slow,
// never wrong. The waits end as soon as what they wait for has happened.
constexpr int kPatience = 300000;

// A raw test-pattern clip, made once.
std::string Clip(const std::string& name, int width, int height, int frames) {
    return test::MakeClip("size_limit_" + name, width, height, frames,
                          "-c:v rawvideo -pix_fmt bgr24", "10");
}

TFrameParams ClipParams(int width, int height) {
    TFrameParams params;
    params.End = 99;
    params.Width = width;
    params.Height = height;
    params.Delay = 100;
    params.Reduction = TColorReduction::BestQuality;
    params.Dither = TDitherMode::FloydSteinberg;
    return params;
}

// One estimate, undisturbed.
std::int64_t EstimateAlone(const std::string& clip, const TFrameParams& params) {
    TBackgroundEstimate estimate;
    std::vector<std::int64_t> ready;
    QObject::connect(&estimate, &TBackgroundEstimate::Ready,
                     [&ready](std::int64_t bytes) { ready.push_back(bytes); });
    estimate.Request(clip, params);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !ready.empty(); }, kPatience));
    return ready.empty() ? 0 : ready.front();
}

TEST(BackgroundEstimateTest, OnlyTheLatestRequestIsDelivered) {
    const std::string clip = Clip("estimate.avi", 320, 240, 100);
    const TFrameParams large = ClipParams(320, 240);
    const TFrameParams small = ClipParams(80, 60);
    const std::int64_t largeBytes = EstimateAlone(clip, large);
    const std::int64_t smallBytes = EstimateAlone(clip, small);
    ASSERT_GT(smallBytes, 0);
    ASSERT_GT(largeBytes, smallBytes);

    TBackgroundEstimate estimate;
    std::vector<std::int64_t> ready;
    QObject::connect(&estimate, &TBackgroundEstimate::Ready,
                     [&ready](std::int64_t bytes) { ready.push_back(bytes); });
    // Edits within the quiet time start one estimate, of the last settings.
    for (int width : {320, 240, 160})
        estimate.Request(clip, ClipParams(width, width * 3 / 4));
    estimate.Request(clip, small);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !ready.empty(); }, kPatience));
    EXPECT_EQ(estimate.Started(), 1);
    EXPECT_EQ(ready, std::vector<std::int64_t>{smallBytes});

    // An estimate under way when the settings change is stopped and dropped.
    ready.clear();
    estimate.Request(clip, large);
    ASSERT_TRUE(QTest::qWaitFor([&] { return estimate.Started() == 2; }, kPatience));
    estimate.Request(clip, small);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !estimate.Busy(); }, kPatience));
    EXPECT_EQ(estimate.Started(), 3);
    EXPECT_EQ(estimate.Dropped(), 1);
    EXPECT_EQ(ready, std::vector<std::int64_t>{smallBytes});

    // A cancel drops it too, and so does the end of the object under way.
    ready.clear();
    estimate.Request(clip, large);
    ASSERT_TRUE(QTest::qWaitFor([&] { return estimate.Started() == 4; }, kPatience));
    estimate.Cancel();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !estimate.Busy(); }, kPatience));
    EXPECT_TRUE(ready.empty());
    {
        TBackgroundEstimate ended;
        QObject::connect(&ended, &TBackgroundEstimate::Ready,
                         [&ready](std::int64_t bytes) { ready.push_back(bytes); });
        ended.Request(clip, large);
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended.Started() == 1; }, kPatience));
    }
    QTest::qWait(50);
    EXPECT_TRUE(ready.empty());
}

class WindowSizeLimitTest : public TShownWindowTest {
protected:
    TModalRunner Answer() {
        return [this](QDialog& dialog) {
            if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
                // The box that ends every finished run is not counted.
                if (!box->text().contains("finished successfully"))
                    boxes << box->text();
                return static_cast<int>(QMessageBox::Ok);
            }
            auto& files = static_cast<QFileDialog&>(dialog);
            files.selectFile(files.acceptMode() == QFileDialog::AcceptOpen ? openFile : saveFile);
            return static_cast<int>(QDialog::Accepted);
        };
    }
    QString Field(const char* name) const { return Find<QLineEdit>(name)->text(); }
    // Converts with the limit typed, then saves; the saved file's size, or -1
    // when nothing was saved.
    qint64 ConvertAndSave(const QString& limit, const QString& name) {
        Find<QLineEdit>("FitUnderEdit")->setText(limit);
        form->ConvertAviClick();
        saveFile = QString::fromStdString(test::WorkPath("size_limit_" + name.toStdString()));
        QFile::remove(saveFile);
        form->SaveResult();
        return QFileInfo::exists(saveFile) ? QFileInfo(saveFile).size() : -1;
    }

    QStringList boxes;
    QString openFile, saveFile;
};

TEST_F(WindowSizeLimitTest, TheEstimateShowsAndTheLimitHolds) {
    TScopedModalRunner runner(Answer());
    EXPECT_FALSE(Find("FitUnderEdit")->isEnabled()) << "no clip yet";
    openFile = QString::fromStdString(Clip("limit.avi", 160, 120, 40));
    form->OpenClick();
    ASSERT_TRUE(Find("FitUnderEdit")->isEnabled());
    auto* estimate = Find<QLabel>("EstimateLabel");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return !form->SizeEstimate().Busy() && !estimate->text().isEmpty(); }, kPatience));
    EXPECT_TRUE(estimate->text().startsWith("About ")) << estimate->text().toStdString();
    // A range marked on the track bar sets the fields without typing: the
    // estimate follows it.
    const int started = form->SizeEstimate().Started();
    Find<QLineEdit>("EndEdit")->setText("9");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->SizeEstimate().Started() > started; }, kPatience));
    Find<QLineEdit>("EndEdit")->setText("39");
    // A field that holds no number leaves no estimate.
    Find<QLineEdit>("WidthEdit")->selectAll();
    QTest::keyClick(Find<QLineEdit>("WidthEdit"), Qt::Key_Delete);
    EXPECT_TRUE(estimate->text().isEmpty());
    Find<QLineEdit>("WidthEdit")->setText("160");
    Find<QLineEdit>("HeightEdit")->setText("120");

    const qint64 whole = ConvertAndSave("", "plain.gif");
    ASSERT_GT(whole, 0);
    struct TCase {
        QString Limit;
        bool Valid;      // a box refuses the others
        bool Sacrifices; // step or size must give way
    };
    const auto mb = [](double share, qint64 bytes) {
        return QString::number(share * static_cast<double>(bytes) / 1048576.0, 'f', 6);
    };
    const TCase cases[] = {
        {"abc", false, false},         {"0", false, false},          {"-2", false, false},
        {mb(2.0, whole), true, false}, {mb(0.4, whole), true, true}, {mb(0.15, whole), true, true},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Limit.toStdString());
        boxes.clear();
        for (const auto& [name, text] :
             {std::pair{"StepEdit", "1"}, {"WidthEdit", "160"}, {"HeightEdit", "120"}})
            Find<QLineEdit>(name)->setText(text);
        const qint64 saved = ConvertAndSave(test.Limit, "limited.gif");
        EXPECT_EQ(TFormmain::ParseMegabytes(test.Limit).has_value(), test.Valid);
        if (!test.Valid) {
            ASSERT_EQ(boxes.size(), 1);
            EXPECT_TRUE(boxes[0].startsWith("Fit under '" + test.Limit + "'"));
            continue;
        }
        ASSERT_TRUE(boxes.isEmpty()) << boxes.join("\n").toStdString();
        ASSERT_GT(saved, 0);
        EXPECT_LE(saved, TFormmain::ParseMegabytes(test.Limit).value_or(0));
        EXPECT_EQ(Find<QComboBox>("ColorReductionBox")->currentIndex(), 6)
            << "the person's own method again, for the next plain run";
        const bool gaveWay = Field("StepEdit") != "1" || Field("WidthEdit") != "160";
        EXPECT_EQ(gaveWay, test.Sacrifices)
            << Field("StepEdit").toStdString() << " " << Field("WidthEdit").toStdString();
        EXPECT_LE(std::abs(Field("WidthEdit").toInt() * 3 - Field("HeightEdit").toInt() * 4), 4)
            << "the aspect is kept, to a pixel";
    }

    // A limit nothing reaches leaves no result to save, changes no field and
    // says it failed.
    boxes.clear();
    const QStringList names = {"StepEdit", "WidthEdit", "HeightEdit", "DelayEdit"};
    QStringList before;
    for (const QString& name : names)
        before << Field(name.toLatin1().constData());
    Find<QComboBox>("ColorReductionBox")->setCurrentIndex(1);
    EXPECT_EQ(ConvertAndSave("0.0001", "none.gif"), -1);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith("No GIF of this clip fits under 0.0001 MB"));
    QStringList after;
    for (const QString& name : names)
        after << Field(name.toLatin1().constData());
    EXPECT_EQ(after, before);
    EXPECT_EQ(Find<QComboBox>("ColorReductionBox")->currentIndex(), 1);
    EXPECT_TRUE(form->StatusText().startsWith("No GIF of this clip fits under 0.0001 MB"))
        << form->StatusText().toStdString();
    Find<QComboBox>("ColorReductionBox")->setCurrentIndex(6);

    // Closing the clip while an estimate runs clears it.
    Find<QLineEdit>("StepEdit")->setText("1");
    QTest::keyClick(Find<QLineEdit>("StepEdit"), Qt::Key_2);
    form->ToolButton2Click();
    EXPECT_TRUE(estimate->text().isEmpty());
    EXPECT_FALSE(form->SizeEstimate().Busy());
}

} // namespace
} // namespace framolo
