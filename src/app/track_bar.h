#pragma once

#include <QSlider>

#include <functional>

namespace framolo {

// A horizontal slider that also shows a selected range of its values, as a
// band beside the groove. A range of 0 to 0 shows nothing.
class TTrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TTrackBar(QWidget* parent = nullptr);

    int SelStart() const { return selStart_; }
    int SelEnd() const { return selEnd_; }
    void SetSelStart(int value);
    void SetSelEnd(int value);

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
    int selStart_ = 0;
    int selEnd_ = 0;
};

} // namespace framolo
