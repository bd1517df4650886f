#pragma once

#include <QRect>
#include <QWidget>

#include <optional>

namespace framolo {

class TAVIPlayer;

// A crop rectangle over a player's picture, kept in the picture's own
// pixels. It covers the player and is drawn over every frame the player
// shows, playing or stepping. While active it takes the mouse: a drag on the
// picture outside the rectangle draws a new one, a drag inside moves it, a
// drag on one of its corner handles resizes it; the rectangle always stays
// within the picture and at least one pixel wide and high.
class TCropOverlay : public QWidget {
    Q_OBJECT
public:
    explicit TCropOverlay(TAVIPlayer& player);

    bool Active() const { return active_; }
    void SetActive(bool active);
    // In picture pixels; unset when nothing is drawn.
    const std::optional<QRect>& Crop() const { return crop_; }
    void SetCrop(const std::optional<QRect>& crop);

    // The side of a handle, in screen pixels.
    static constexpr int kHandle = 6;

signals:
    void CropChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class TDrag { None, Draw, Move, Resize };
    // Screen and picture coordinates, by the picture's stretch over the player.
    QRect ToScreen(const QRect& picture) const;
    QPoint ToPicture(QPoint screen) const;
    QSize PictureSize() const;

    TAVIPlayer& player_;
    bool active_ = false;
    std::optional<QRect> crop_;
    TDrag drag_ = TDrag::None;
    // Where the drag began, in picture pixels, and the rectangle then.
    QPoint anchor_;
    QRect startCrop_;
    // The corner that does not move while resizing.
    QPoint fixedCorner_;
};

} // namespace framolo
