// Crop and frame order in the window, through the real widgets: a rectangle
// dragged on the player's picture, converted as the command line cuts it.
#include "app/form_main.h"
#include "clip_tools.h"
#include "controls/modal_seam.h"
#include "giflib_util.h"
#include "window_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QToolButton>

#include <cstdlib>

namespace framolo {
namespace {

class WindowCropTest : public TShownWindowTest {
protected:
    // Open and save dialogs choose `file`; boxes are closed.
    TModalRunner Choose() {
        return [this](QDialog& dialog) {
            if (auto* files = qobject_cast<QFileDialog*>(&dialog))
                files->selectFile(file);
            if (qobject_cast<QMessageBox*>(&dialog))
                return static_cast<int>(QMessageBox::Ok);
            return static_cast<int>(QDialog::Accepted);
        };
    }
    void Drag(QWidget* on, QPoint from, QPoint to) {
        const auto send = [on](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent event(type, at, on->mapToGlobal(at), Qt::LeftButton, buttons,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(on, &event);
        };
        send(QEvent::MouseButtonPress, from, Qt::LeftButton);
        send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
        send(QEvent::MouseMove, to, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, to, Qt::NoButton);
    }
    QString file;
};

TEST_F(WindowCropTest, ADraggedCropIsConvertedAsTheCommandLineCutsIt) {
    const std::string clip = test::WorkPath("window_crop.avi");
    const std::string make = "ffmpeg -loglevel error -y -f lavfi -i testsrc2=s=320x240:rate=10 "
                             "-frames:v 6 -c:v rawvideo -pix_fmt bgr24 '" +
                             clip + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    TScopedModalRunner runner(Choose());
    file = QString::fromStdString(clip);
    form->OpenClick();
    auto* crop = Find<QToolButton>("CropButton");
    auto* overlay = Find<QWidget>("CropOverlay");
    auto* width = Find<QLineEdit>("WidthEdit");
    auto* height = Find<QLineEdit>("HeightEdit");
    ASSERT_TRUE(crop->isEnabled());
    EXPECT_FALSE(crop->accessibleName().isEmpty());
    EXPECT_FALSE(crop->toolTip().isEmpty());
    // The keyboard reaches the button, and Space turns crop mode on and off
    // (the window's keys are at work only while it is the active one).
    QApplication::setActiveWindow(form.get());
    crop->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), crop)
        << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName().toStdString()
                                        : std::string("none"));
    QTest::keyClick(crop, Qt::Key_Space);
    EXPECT_TRUE(crop->isChecked());
    QTest::keyClick(crop, Qt::Key_Space);
    EXPECT_FALSE(crop->isChecked());
    QTest::mouseClick(crop, Qt::LeftButton);
    ASSERT_TRUE(crop->isChecked());
    // Screen to picture: the player shows the 320 x 240 picture stretched.
    const QPoint from(overlay->width() / 8, overlay->height() / 4);
    const QPoint to(overlay->width() * 5 / 8, overlay->height() * 3 / 4);
    Drag(overlay, from, to);
    const auto picture = [&](QPoint p) {
        return QPoint(p.x() * 320 / overlay->width(), p.y() * 240 / overlay->height());
    };
    const QRect rect(picture(from), picture(to));
    EXPECT_EQ(width->text().toInt(), rect.width());
    EXPECT_EQ(height->text().toInt(), rect.height());
    EXPECT_TRUE(form->StatusText().contains(QStringLiteral("Crop %1 x %2 at %3, %4")
                                                .arg(rect.width())
                                                .arg(rect.height())
                                                .arg(rect.x())
                                                .arg(rect.y())))
        << form->StatusText().toStdString();
    // The aspect chain follows the crop's aspect.
    width->setText(QString::number(rect.width() / 2));
    emit width->textEdited(width->text());
    EXPECT_NEAR(height->text().toDouble(), rect.height() / 2.0, 1.0);
    width->setText(QString::number(rect.width()));
    height->setText(QString::number(rect.height()));
    Find<QComboBox>("OrderBox")->setCurrentIndex(2);

    form->ConvertAviClick();
    const QString saved = QString::fromStdString(test::WorkPath("window_crop.gif"));
    file = saved;
    form->SaveClick();
    const std::string cli = test::WorkPath("window_crop_cli.gif");
    const std::string command =
        std::string(FRAMOLO_CLI_PATH) + " avi2gif '" + clip + "' '" + cli +
        "' --quiet --reduction quantize --dither floydsteinberg --bounce --crop " +
        std::to_string(rect.width()) + "x" + std::to_string(rect.height()) + "+" +
        std::to_string(rect.x()) + "+" + std::to_string(rect.y());
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const auto bytes = test::ReadFileBytes(saved.toStdString());
    EXPECT_EQ(bytes, test::ReadFileBytes(cli));
    const test::GiflibDecoded gif = test::GiflibDecode(bytes);
    ASSERT_TRUE(gif.Ok) << gif.Error;
    EXPECT_EQ(gif.Width, rect.width());
    EXPECT_EQ(gif.Frames.size(), 10u);

    // Escape in crop mode clears the crop: the picture is the clip's again.
    // The drag left the keys with the rectangle.
    ASSERT_EQ(QApplication::focusWidget(), overlay);
    QTest::keyClick(overlay, Qt::Key_Escape);
    EXPECT_FALSE(crop->isChecked());
    EXPECT_EQ(width->text(), "320");
    EXPECT_EQ(height->text(), "240");
}

} // namespace
} // namespace framolo
