// What the player puts on a real X server's screen, read back from the
// server. CTest runs these through scripts/xvfb-run-test.sh; elsewhere they
// skip.

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include "preview/avi_player.h"
#include "preview/scripted_sound_device.h"
#include "test_avi_player_support.h"

namespace framolo {
namespace {

using playertest::Pump;
using playertest::WaitFor;

QImage ScreenAt(QWidget& window, const QRect& area) {
    return window.screen()
        ->grabWindow(window.winId(), area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

TEST(AVIPlayerScreenTest, TheScreenShowsTheDecodedFrameWhilePausedAndAfterAPlay) {
    if (QGuiApplication::platformName() != "xcb") {
        GTEST_SKIP() << "needs a real X server (CTest runs it on Xvfb)";
    }
    const auto clip = playertest::PatternClip(96, 72, "25", 10);
    const avitest::TReference ref = avitest::DecodeReference(clip);
    ASSERT_EQ(ref.Pictures.size(), 10u);
    const auto frame = [&](int k) {
        return playertest::BgrToImage(*ref.At(k), ref.Width, ref.Height);
    };

    QWidget window;
    window.setWindowFlag(Qt::FramelessWindowHint);
    window.setGeometry(50, 50, 300, 200);
    auto* player = new TAVIPlayer(&window, std::make_unique<TScriptedSoundDevice>());
    player->SetTransparent(false);
    player->move(20, 30);
    player->SetFileName(clip.string());
    ASSERT_EQ(player->size(), QSize(96, 72));
    window.show();
    ASSERT_TRUE(WaitFor([&] { return window.windowHandle()->isExposed(); }));
    const QRect area(20, 30, 96, 72);

    player->SetPosition(6);
    Pump(300);
    EXPECT_EQ(ScreenAt(window, area), frame(6));

    // After the last pass the screen keeps the stop frame while Position
    // reads one past it.
    player->Play(2, 8, 1);
    ASSERT_TRUE(WaitFor([&] { return !player->Active(); }));
    EXPECT_EQ(player->Position(), 9);
    Pump(200);
    EXPECT_EQ(ScreenAt(window, area), frame(8));
}

} // namespace
} // namespace framolo
