#include "app/track_bar.h"

#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <string>

namespace framolo {
namespace {

// The bar as drawn at the main window's size, with ticks every `interval`
// up to `maximum`, or with none.
QImage Drawn(int maximum, int interval, bool ticks) {
    TTrackBar bar;
    bar.resize(154, 25);
    bar.setTickPosition(ticks ? QSlider::TicksBelow : QSlider::NoTicks);
    bar.setRange(0, maximum);
    bar.setTickInterval(interval);
    return bar.grab().toImage();
}

// A clip of a few hundred frames shows its 25 ticks; one of billions, whose
// ticks would step past the largest int, or more ticks than the bar has
// pixels, is drawn without them (and drawing it ends).
TEST(TrackBar, TicksOnlyWhereTheyCanBeDrawn) {
    EXPECT_NE(Drawn(100, 4, true), Drawn(100, 4, false));
    const int huge = INT_MAX - 1;
    EXPECT_EQ(Drawn(huge, huge / 25, true), Drawn(huge, huge / 25, false));
    EXPECT_EQ(Drawn(100000, 1, true), Drawn(100000, 1, false));
}

// The selected range shows as a band a person can see, over the groove, at
// the window's size and wider: in the columns of its frames and nowhere else.
TEST(TrackBar, TheSelectedRangeShowsWhereItsFramesAre) {
    struct Case {
        int width, maximum, from, to;
    };
    const Case cases[] = {{154, 100, 0, 100},      {154, 100, 26, 30}, {154, 100, 60, 60},
                          {154, 5244, 1000, 4000}, {400, 100, 26, 30}, {400, 99, 10, 90}};
    for (const Case& c : cases) {
        TTrackBar bar;
        bar.resize(c.width, 25);
        bar.setRange(0, c.maximum);
        bar.setTickInterval(std::max(1, c.maximum / 25));
        // The handle stays off the band's ends.
        const int middle = c.maximum / 2;
        bar.setValue(c.from > middle ? 0 : c.to < middle ? c.maximum : middle);
        bar.SetSelStart(c.from);
        bar.SetSelEnd(c.to);
        const QImage shot = bar.grab().toImage();
        int first = -1;
        int last = -1;
        for (int x = 0; x < shot.width(); ++x)
            for (int y = 0; y < shot.height(); ++y)
                if (shot.pixelColor(x, y) == TTrackBar::SelectionColor) {
                    first = first < 0 ? x : first;
                    last = x;
                }
        const std::string name = std::to_string(c.from) + "-" + std::to_string(c.to) + " of " +
                                 std::to_string(c.maximum) + " at " + std::to_string(c.width);
        ASSERT_GE(first, 0) << name << ": no band";
        // Where the frames lie along the bar, allowing for the handle's half
        // width at each end of the groove.
        const double at = static_cast<double>(c.width) / c.maximum;
        EXPECT_NEAR(first, c.from * at, 12) << name;
        EXPECT_NEAR(last, c.to * at, 12) << name;
        EXPECT_GE(last - first + 1, 3) << name;
        int tall = 0;
        for (int y = 0; y < shot.height(); ++y)
            tall += shot.pixelColor(first + 1, y) == TTrackBar::SelectionColor;
        EXPECT_GE(tall, 4) << name << ": a band, not a line beside the groove";
    }
}

} // namespace
} // namespace framolo
