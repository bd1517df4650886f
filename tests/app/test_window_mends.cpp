// Faults a person met on a walk through the window, each driven through the
// real widgets: what the window must do instead.
#include "app/form_main.h"
#include "app/track_bar.h"
#include "window_road_fixture.h"

#include <QLineEdit>
#include <gtest/gtest.h>

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
        ASSERT_TRUE(QTest::qWaitFor([&] { return Text("edit1") == QString::number(frame); }));
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

} // namespace
} // namespace framolo
