#pragma once

#include <QPixmap>
#include <QWidget>

#include <functional>

namespace framolo {

// A control that shows one picture: at its natural size from the top left, or
// stretched over the whole control. A picture keeps its device-pixel ratio, so
// artwork rendered for a high-density screen stays sharp.
class TImageControl : public QWidget {
    Q_OBJECT
public:
    explicit TImageControl(QWidget* parent = nullptr);

    // The picture shown; an empty one shows nothing.
    const QPixmap& Displayed() const { return displayed_; }
    void SetDisplayed(const QPixmap& picture);

    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);

    // Fired for every mouse button pressed on the control, before anything else.
    std::function<void(QMouseEvent*)> OnMouseDown;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QPixmap displayed_;
    bool stretch_ = false;
};

// True when a picture has something to show: width and height above 0.
inline bool HasPicture(const QPixmap& picture) {
    return !picture.isNull() && picture.width() > 0 && picture.height() > 0;
}

} // namespace framolo
