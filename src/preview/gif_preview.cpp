#include "preview/gif_preview.h"

#include "gif/gif_document.h"
#include "platform/changed_value.h"
#include "preview/painter_call_pump.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

namespace framolo {

TGIFPreview::TGIFPreview(QWidget* parent) : QWidget(parent) {
    InstallPainterCallPump();
    setAttribute(Qt::WA_OpaquePaintEvent);
    canvas_.OnChanged = [this] { update(); };
}

TGIFPreview::~TGIFPreview() {
    // The document stops its painters before the canvas they draw on goes.
    picture_.reset();
}

void TGIFPreview::StopAnimation() {
    if (auto* document = dynamic_cast<TGIFDocument*>(picture_.get()))
        document->StopCurrentPainter();
}

void TGIFPreview::SetPicture(std::unique_ptr<TGraphic> picture) {
    StopAnimation();
    picture_.reset();
    picture_ = std::move(picture);
    canvas_.Release();
    update();
}

void TGIFPreview::Redraw() {
    StopAnimation();
    canvas_.Release();
    update();
}

void TGIFPreview::SetStretch(bool value) {
    if (SetIfChanged(stretch_, value))
        Redraw();
}

void TGIFPreview::SetCenter(bool value) {
    if (SetIfChanged(center_, value))
        Redraw();
}

TRect TGIFPreview::PictureRect() const {
    if (stretch_ || !picture_)
        return TRect{0, 0, width(), height()};
    const int w = picture_->Width();
    const int h = picture_->Height();
    const int left = center_ ? (width() - w) / 2 : 0;
    const int top = center_ ? (height() - h) / 2 : 0;
    return TRect{left, top, left + w, top + h};
}

void TGIFPreview::resizeEvent(QResizeEvent* event) {
    // The painter's buffers belong to the old size.
    StopAnimation();
    canvas_.Release();
    QWidget::resizeEvent(event);
}

void TGIFPreview::paintEvent(QPaintEvent*) {
    if (canvas_.Image().isNull())
        canvas_.SetSize(size(), palette().color(QPalette::Window));
    if (picture_ && !picture_->Empty()) {
        auto changed = std::move(canvas_.OnChanged);
        canvas_.OnChanged = nullptr;
        // A picture that cannot be drawn (a frame without colours, say)
        // leaves the preview empty; an error must not leave the paint event.
        try {
            picture_->Draw(canvas_, PictureRect());
        } catch (const std::exception&) {
        }
        canvas_.OnChanged = std::move(changed);
    }
    QPainter painter(this);
    painter.drawImage(0, 0, canvas_.Image());
}

} // namespace framolo
