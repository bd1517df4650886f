#pragma once

#include <QWidget>

#include <functional>

namespace framolo {

// An invisible area over a picture that reacts to a click, like the tab names
// painted into the tab headers.
class TClickArea : public QWidget {
    Q_OBJECT
public:
    explicit TClickArea(QWidget* parent = nullptr);

    std::function<void()> OnClick;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace framolo
