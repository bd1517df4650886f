#pragma once

#include <QColor>
#include <QSlider>

#include <functional>

class QStyleOptionSlider;

namespace framolo {

// A horizontal slider that also shows a selected range of its values, as a
// band over the groove, under the handle. A range of 0 to 0 shows nothing.
class TTrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TTrackBar(QWidget* parent = nullptr);

    int SelStart() const { return selStart_; }
    int SelEnd() const { return selEnd_; }
    void SetSelStart(int value);
    void SetSelEnd(int value);

    // The band's colour: opaque, and far from the groove's and the page's.
    static constexpr QColor SelectionColor{255, 150, 20};

    // Mouse down fires before the slider moves, move and up after it.
    std::function<void()> OnMouseDown;
    std::function<void()> OnMouseMove;
    std::function<void()> OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Where the band of the selected range goes, at least 3 pixels wide.
    QRect SelectionRect(const QStyleOptionSlider& option) const;

    int selStart_ = 0;
    int selEnd_ = 0;
};

} // namespace framolo
