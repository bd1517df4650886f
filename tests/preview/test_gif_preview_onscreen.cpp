// On a real X server: a GIF written by framolo-cli from a clip of four
// coloured frames animates in the preview widget. Half a frame after each
// frame is painted the window is grabbed back from the X server, and the
// grabs must show the frames in order. Skipped on other platforms; CTest runs
// it under xvfb-run with FRAMOLO_CLI set.
#include "gif/gif_document.h"
#include "preview/gif_preview.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace framolo {
namespace {

int Shell(const std::string& command) {
    return std::system(command.c_str());
}

// Index of the nearest of the four clip colours.
int Classify(const QColor& c) {
    const int colours[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < 4; ++i) {
        const int dr = c.red() - colours[i][0];
        const int dg = c.green() - colours[i][1];
        const int db = c.blue() - colours[i][2];
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

TEST(GifPreviewOnScreen, AnimatesAGifWrittenByTheCli) {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        GTEST_SKIP() << "needs an X server";
    const char* cli = std::getenv("FRAMOLO_CLI");
    if (cli == nullptr)
        GTEST_SKIP() << "FRAMOLO_CLI names no framolo-cli";

    const std::string dir =
        std::string(FRAMOLO_TEST_WORK_DIR) + "/onscreen_" + std::to_string(getpid());
    ASSERT_EQ(Shell("mkdir -p '" + dir + "'"), 0);
    const std::string clip = dir + "/colours.avi";
    const std::string gif = dir + "/colours.gif";
    ASSERT_EQ(Shell("ffmpeg -v error -y -f lavfi -i color=red:s=64x48:r=1:d=4 -vf "
                    "\"drawbox=c=lime:t=fill:enable='eq(n,1)',"
                    "drawbox=c=blue:t=fill:enable='eq(n,2)',"
                    "drawbox=c=white:t=fill:enable='eq(n,3)'\" -c:v rawvideo -pix_fmt bgr24 '" +
                    clip + "'"),
              0);
    ASSERT_EQ(Shell(std::string("'") + cli + "' avi2gif '" + clip + "' '" + gif +
                    "' --delay 300 --loop 0 --quiet"),
              0);

    auto doc = std::make_unique<TGIFDocument>();
    doc->LoadFromFile(gif);
    ASSERT_EQ(doc->Frames().Count(), 4);
    // As the main window sets it for every document.
    doc->SetPaintOptions(doc->PaintOptions() | poOnTarget);

    QWidget window;
    window.resize(160, 121);
    TGIFPreview preview(&window);
    preview.setGeometry(16, 12, 128, 96);
    std::vector<QImage> grabs;
    doc->OnFrameAfter = [&](TPersistent*) {
        QTimer::singleShot(180, &preview, [&] {
            grabs.push_back(window.screen()->grabWindow(window.winId(), 16, 12, 128, 96).toImage());
        });
    };
    preview.SetPicture(std::move(doc));
    window.show();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (grabs.size() < 9 && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_GE(grabs.size(), 9u);

    std::vector<int> seen;
    for (std::size_t i = 0; i < grabs.size(); ++i) {
        const QImage& g = grabs[i];
        ASSERT_EQ(g.size(), QSize(128, 96));
        // The whole preview shows one frame: corners agree with the centre.
        const int centre = Classify(g.pixelColor(64, 48));
        EXPECT_EQ(Classify(g.pixelColor(2, 2)), centre) << i;
        EXPECT_EQ(Classify(g.pixelColor(125, 93)), centre) << i;
        if (seen.empty() || seen.back() != centre)
            seen.push_back(centre);
        if (i < 4)
            g.save(QString::fromStdString(dir + "/grab" + std::to_string(i) + ".png"));
    }
    ASSERT_GE(seen.size(), 8u);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], (seen[i - 1] + 1) % 4) << "grab sequence position " << i;
    EXPECT_EQ(seen[0], 0);
}

} // namespace
} // namespace framolo
