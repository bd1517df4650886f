#pragma once

// Helpers of the player and sound tests: clips made with the ffmpeg command
// line, a recording observer, and waiting on the event loop.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "avi_test_support.h"
#include "preview/avi_player.h"

namespace framolo::playertest {

// Runs the event loop until `done` holds or `ms` milliseconds pass; returns
// whether it held. Only a bound against hanging, never a timing check.
inline bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// Runs the event loop for `ms` milliseconds.
inline void Pump(int ms) {
    WaitFor([] { return false; }, ms);
}

// Records what a player reports.
struct TRecorder : TAVIPlayerObserver {
    std::vector<int> Delays;
    std::vector<int> Positions;
    bool Dragging = false;
    void ReportFrameDelay(int milliseconds) override { Delays.push_back(milliseconds); }
    void ReportPosition(int position) override { Positions.push_back(position); }
    bool TrackDragging() const override { return Dragging; }
};

// An uncompressed clip of `frames` test-pattern frames, so that what the
// player shows can be compared with ffmpeg's own decode pixel for pixel.
inline std::filesystem::path PatternClip(int width, int height, const std::string& rate,
                                         int frames) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    std::string tag = rate;
    std::replace(tag.begin(), tag.end(), '/', '_');
    // MakeClip knows a clip by its name: the name carries every argument.
    return avitest::MakeClip("pattern_" + size + "_" + tag + "_" + std::to_string(frames) + ".avi",
                             "-f lavfi -i testsrc=size=" + size + ":rate=" + rate + " -frames:v " +
                                 std::to_string(frames) + " -c:v rawvideo -pix_fmt bgr24");
}

// The pixels of a picture from avitest::DecodeReference as an RGB32 image.
inline QImage BgrToImage(const std::vector<std::uint8_t>& bgr, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = &bgr[(static_cast<std::size_t>(y) * width + x) * 3];
            image.setPixel(x, y, qRgb(p[2], p[1], p[0]));
        }
    }
    return image;
}

} // namespace framolo::playertest
