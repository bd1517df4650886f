#include "controls/hint_color.h"
#include "controls/image_button.h"
#include "controls/modal_seam.h"

#include <QCursor>
#include <QDialog>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace framolo {
namespace {

QPixmap Filled(QColor color) {
    QPixmap picture(46, 46);
    picture.fill(color);
    return picture;
}

class ImageButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        originalHint = ApplicationHintColor();
        button.resize(46, 46);
        button.SetPicture(normal);
        button.SetHintColor(QColor(10, 20, 30));
    }
    void TearDown() override { SetApplicationHintColor(originalHint); }

    void Enter() {
        QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(&button, &event);
    }
    void Leave() {
        QEvent event(QEvent::Leave);
        QCoreApplication::sendEvent(&button, &event);
    }
    bool Shows(const QPixmap& picture) const {
        return button.Displayed().cacheKey() == picture.cacheKey();
    }

    QColor originalHint;
    TImageButton button;
    QPixmap normal = Filled(Qt::gray);
    QPixmap enter = Filled(Qt::yellow);
    QPixmap down = Filled(Qt::darkBlue);
    QPixmap clicked1 = Filled(Qt::green);
    QPixmap clicked2 = Filled(Qt::red);
};

TEST_F(ImageButtonTest, EmptyEnterPictureKeepsPictureButStillSwapsHintColour) {
    int stateChanges = 0;
    button.OnStateChanged = [&] { ++stateChanges; };
    Enter();
    EXPECT_TRUE(Shows(normal));
    EXPECT_EQ(button.State(), TPicState::stDefault);
    EXPECT_EQ(stateChanges, 1) << "the missing picture still reports the attempt";
    EXPECT_EQ(ApplicationHintColor(), QColor(10, 20, 30));
    EXPECT_TRUE(button.Hovering());

    // A second enter before the leave must not save the button's own colour.
    Enter();
    Leave();
    EXPECT_EQ(ApplicationHintColor(), originalHint);
    EXPECT_FALSE(button.Hovering());
}

TEST_F(ImageButtonTest, HoverPressReleaseAndLeaveWalkThroughThePictures) {
    button.Pictures().SetPicEnter(enter);
    button.Pictures().SetPicDown(down);
    int clicks = 0;
    button.OnClick = [&] { ++clicks; };

    Enter();
    EXPECT_TRUE(Shows(enter));
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_TRUE(Shows(down));
    EXPECT_EQ(button.State(), TPicState::stDown);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(Shows(enter)) << "a click released inside shows the enter picture";
    EXPECT_EQ(button.ClickCount(), 0) << "no click pictures, so the count falls back";
    Leave();
    EXPECT_TRUE(Shows(normal));
    EXPECT_EQ(button.State(), TPicState::stDefault);
}

// A double click is two clicks, unless the button ignores double clicks: then
// only the first counts (a run button whose place the stop button takes).
TEST_F(ImageButtonTest, ADoubleClickIsOneClickWhereDoubleClicksAreIgnored) {
    int clicks = 0;
    button.OnClick = [&] { ++clicks; };
    for (const bool ignores : {false, true}) {
        clicks = 0;
        button.SetIgnoresDoubleClick(ignores);
        // The events of a double click: a click, then a double-click press
        // and its release.
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
        QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(20, 20), QPointF(20, 20),
                           Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&button, &second);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
        EXPECT_EQ(clicks, ignores ? 1 : 2) << ignores;
        // The next click after it is a click again.
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 20));
        EXPECT_EQ(clicks, ignores ? 2 : 3) << ignores;
    }
}

TEST_F(ImageButtonTest, ReleaseOutsideReturnsToNormalWithoutClick) {
    button.Pictures().SetPicEnter(enter);
    button.Pictures().SetPicDown(down);
    int clicks = 0;
    button.OnClick = [&] { ++clicks; };
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(60, 20));
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(Shows(normal));

    // On the very edge the release still clicks, but the edge is outside for
    // the hover picture, so the button goes back to normal.
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(0, 20));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(Shows(normal));
}

TEST_F(ImageButtonTest, ClickPicturesCycleAndOutsideReleaseKeepsTheClickPicture) {
    button.Pictures().SetPicEnter(enter);
    button.Pictures().SetPicDown(down);
    button.Pictures().SetPicClicked1(clicked1);
    button.Pictures().SetPicClicked2(clicked2);

    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(Shows(clicked1));
    EXPECT_EQ(button.ClickCount(), 1);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(Shows(clicked2));
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(button.ClickCount(), 0);
    EXPECT_TRUE(Shows(enter)) << "third click: back to normal, then the hover picture";

    // Pressed, then released outside: the count decides, so the first click picture returns.
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(Shows(down));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(-5, 10));
    EXPECT_TRUE(Shows(clicked1));
}

// A command with a modal step (Open, Save, Convert) returns with the mouse
// wherever the person left it; the leave came during the modal loop, so the
// release must look where the mouse really is.
TEST_F(ImageButtonTest, AfterAModalStepTheButtonShowsWhereTheMouseIs) {
    button.Pictures().SetPicEnter(enter);
    button.Pictures().SetPicDown(down);
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    struct Case {
        const char* mouse;
        QPoint movedTo; // during the modal step, in the button's coordinates
        bool leaveCame; // the modal loop passed the button a leave
        bool over;
    };
    const Case cases[] = {
        {"moved away", {200, 200}, true, false},
        {"stayed on the button", {20, 20}, false, true},
        {"moved to the button's edge", {0, 20}, false, false},
        // The next move on the button brings a fresh enter, and its picture.
        {"stayed, but the dialog took the leave", {20, 20}, true, false},
    };
    for (const Case& c : cases) {
        button.OnClick = [&] {
            TScopedModalRunner runner([&](QDialog&) {
                QCursor::setPos(button.mapToGlobal(c.movedTo));
                if (c.leaveCame)
                    Leave();
                return 0;
            });
            QDialog box;
            RunModal(box);
        };
        QCursor::setPos(button.mapToGlobal(QPoint(20, 20)));
        Enter();
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(20, 20));
        EXPECT_TRUE(Shows(c.over ? enter : normal)) << c.mouse;
        Leave();
    }
}

TEST_F(ImageButtonTest, PictureChangesShowAtOnce) {
    Enter();
    EXPECT_TRUE(Shows(normal));
    button.Pictures().SetPicEnter(enter);
    EXPECT_TRUE(Shows(normal)) << "the state was never entered, so nothing re-applies";
    button.SetState(TPicState::stEntered);
    EXPECT_TRUE(Shows(enter));
    const QPixmap brighter = Filled(Qt::white);
    button.Pictures().SetPicEnter(brighter);
    EXPECT_TRUE(Shows(brighter));
    button.SetPicture(clicked2);
    EXPECT_TRUE(Shows(clicked2)) << "setting the normal picture shows it";
    EXPECT_EQ(button.Picture().cacheKey(), clicked2.cacheKey());
    Leave();
}

} // namespace
} // namespace framolo
