#pragma once

// TGIFPreview shows one picture (a GIF document, a bitmap, any TGraphic),
// stretched to the widget or at its own size, centred. An animated GIF
// document animates while the widget shows it: the first paint starts the
// document's painter on the widget's canvas, and every frame the painter draws
// repaints the widget. The main window uses one for each GIF preview
// (ImageGifPreview on tab 1, Gifpreview_B on tab 2):
//
//   auto copy = std::make_unique<TGIFDocument>();
//   copy->Assign(&result);              // the preview keeps its own copy
//   ImageGifPreview->SetPicture(std::move(copy));
//   ...
//   ImageGifPreview->SetPicture(nullptr);   // Close, a new run, a tab switch
//
// Place the widget inside its panel by the window's fitting rule; with Stretch
// set (the default) the picture fills the widget. Removing the picture,
// resizing the widget or destroying it stops the animation first; a resized
// widget starts it again from frame 0 at its next paint. The widget installs
// the painters' call pump, so it needs a running Qt event loop to animate.

#include "platform/graphics/graphics.h"
#include "preview/qt_canvas.h"

#include <QWidget>

#include <memory>

namespace framolo {

class TGIFPreview : public QWidget {
    Q_OBJECT

public:
    explicit TGIFPreview(QWidget* parent = nullptr);
    ~TGIFPreview() override;
    TGIFPreview(const TGIFPreview&) = delete;
    TGIFPreview& operator=(const TGIFPreview&) = delete;

    // Takes the picture and shows it; null removes the current one.
    void SetPicture(std::unique_ptr<TGraphic> picture);
    TGraphic* Picture() const { return picture_.get(); }

    // Stretch the picture to the widget (true), or show it at its own size.
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    // Centre a picture that is not stretched (true), or put it top left.
    bool Center() const { return center_; }
    void SetCenter(bool value);

    // Where the picture is drawn, in widget pixels.
    TRect PictureRect() const;
    // What the widget shows now (the canvas the picture is painted on).
    QImage Snapshot() const { return canvas_.Image(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void StopAnimation();
    // Stops the painter and drops the drawing surface, then schedules a paint.
    void Redraw();

    TQtCanvas canvas_;
    std::unique_ptr<TGraphic> picture_;
    bool stretch_ = true;
    bool center_ = true;
};

} // namespace framolo
