#include "app/artwork.h"
#include "app/form_main.h"
#include "app/form_splash.h"
#include "app/message_boxes.h"
#include "app/startup.h"
#include "controls/image_control.h"
#include "controls/modal_seam.h"

#include <QApplication>
#include <QDirIterator>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <gtest/gtest.h>

namespace framolo {
namespace {

TEST(Startup, SplashShowsForItsDelayThenHandsOverToTheMainWindow) {
    TStartup started = StartFramolo();
    ASSERT_TRUE(started.Splash);
    ASSERT_TRUE(started.Main);
    EXPECT_EQ(QApplication::applicationDisplayName(), "Framolo");

    TFormSplash& splash = *started.Splash;
    EXPECT_TRUE(splash.isVisible());
    EXPECT_FALSE(started.Main->isVisible()) << "the main window waits for the splash";
    EXPECT_EQ(splash.size(), QSize(402, 252));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(splash.Image1().geometry(), QRect(1, 1, 400, 250));
    EXPECT_EQ(splash.Timer1().interval(), 3000);
    EXPECT_TRUE(splash.Timer1().isSingleShot());
    EXPECT_TRUE(splash.Timer1().isActive());

    // A one-pixel frame around the picture.
    const QImage shot = splash.grab().toImage();
    EXPECT_EQ(shot.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(401, 251), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(200, 251), QColor(Qt::black));
    EXPECT_NE(shot.pixelColor(1, 1), QColor(Qt::black));
    EXPECT_NE(shot.pixelColor(400, 250), QColor(Qt::black));

    QSignalSpy fired(&splash.Timer1(), &QTimer::timeout);
    ASSERT_TRUE(fired.wait(10000));
    EXPECT_TRUE(started.Main->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(started.Splash) << "the splash window destroys itself";
}

TEST(Artwork, EveryPictureIsValidSvgAndRendersAtThePixelRatio) {
    int count = 0;
    QDirIterator it(":/art", {"*.svg"});
    while (it.hasNext()) {
        const QString path = it.next();
        QSvgRenderer renderer(path);
        EXPECT_TRUE(renderer.isValid()) << path.toStdString();
        ++count;
    }
    EXPECT_GE(count, 40);

    const QPixmap dense = RenderArt("cmd_glyph_open", QSize(46, 46), 2.0);
    EXPECT_EQ(dense.size(), QSize(92, 92));
    EXPECT_EQ(dense.deviceIndependentSize(), QSizeF(46, 46));
    const QImage image = dense.toImage();
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << "glyphs are drawn on a clear ground";
    EXPECT_GT(image.pixelColor(46, 46).alpha(), 0);

    // A face with its glyph: the glyph lies over the face.
    const QImage face = RenderArt("cmd_face_normal", QSize(46, 46), 1.0).toImage();
    const QImage composed =
        ComposeArt({{"cmd_face_normal"}, {"cmd_glyph_stop"}}, QSize(46, 46), 1.0).toImage();
    EXPECT_NE(face.pixelColor(23, 23), composed.pixelColor(23, 23));
    EXPECT_EQ(face.pixelColor(4, 40), composed.pixelColor(4, 40));
}

TEST(MessageBoxes, EveryKindHasItsTitleAndRunsThroughTheSeam) {
    QApplication::setApplicationName("Framolo");
    QStringList seen;
    TScopedModalRunner runner([&](QDialog& dialog) {
        auto& box = static_cast<QMessageBox&>(dialog);
        seen << box.windowTitle() + "|" + box.text();
        EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
        return static_cast<int>(QMessageBox::Ok);
    });
    ShowBox(TBoxKind::Warning, "w");
    ShowBox(TBoxKind::Error, "e");
    ShowBox(TBoxKind::Information, "i");
    ShowBox(TBoxKind::Plain, "p");
    EXPECT_EQ(seen, QStringList({"Warning|w", "Error|e", "Information|i", "Framolo|p"}));
}

// On X11 Qt appends a display name set of its own to every window title
// ("Error" would read "Error - Framolo"); the display name must follow the
// application's name instead.
TEST(MessageBoxes, TitlesGainNoDisplayName) {
    TStartup started = StartFramolo();
    QApplication::setApplicationName("Framolo probe");
    const QString display = QApplication::applicationDisplayName();
    QApplication::setApplicationName("Framolo");
    EXPECT_EQ(display, "Framolo probe") << "start-up set a display name of its own";
}

} // namespace
} // namespace framolo
