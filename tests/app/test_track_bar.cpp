#include "app/track_bar.h"

#include <QImage>
#include <gtest/gtest.h>

#include <climits>

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

} // namespace
} // namespace framolo
