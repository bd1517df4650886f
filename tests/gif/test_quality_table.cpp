// The quality knob's table: the ranges cover every quality once, and the
// help prints what the encoder really runs with at each anchor.
#include "gif/encode/quality_table.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace framolo {
namespace {

TEST(QualityTable, RangesCoverEveryQualityOnceAndMeetAtTheirAnchors) {
    int next = kClosestQuality;
    for (const TQualityRange& range : kQualityRanges) {
        EXPECT_EQ(range.High, next) << range.Name;
        EXPECT_LE(range.Low, range.High) << range.Name;
        EXPECT_TRUE(range.HighAnchor >= range.High && range.LowAnchor <= range.Low) << range.Name;
        next = range.Low - 1;
    }
    EXPECT_EQ(next, kSmallestQuality - 1);
}

TEST(QualityTable, TheHelpShowsTheSettingsOfEachAnchor) {
    std::set<int> shown;
    std::istringstream help(QualityHelpText());
    for (std::string line; std::getline(help, line);) {
        std::istringstream row(line);
        int quality = 0, colors = 0, keep = 0, strings = 0;
        if (!(row >> quality >> colors >> keep >> strings))
            continue;
        const TEncoderTuning t = TuningForQuality(quality);
        EXPECT_EQ(colors, t.Colors) << line;
        EXPECT_EQ(keep, t.Tolerance) << line;
        EXPECT_EQ(strings, t.LzwBound) << line;
        EXPECT_EQ(line.find('-', line.find(std::to_string(strings))) == std::string::npos,
                  t.ProbeMargin >= 0 && t.FirstColors > 0)
            << line;
        shown.insert(quality);
    }
    for (const TQualityRange& range : kQualityRanges) {
        EXPECT_TRUE(shown.count(range.High)) << range.Name;
        EXPECT_TRUE(shown.count(range.Low)) << range.Name;
    }
    // Where the rich first frame and the wider layers begin.
    EXPECT_TRUE(shown.count(38) && shown.count(kWideLayerQuality - 1));
}

} // namespace
} // namespace framolo
