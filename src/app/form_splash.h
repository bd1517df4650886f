#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

namespace framolo {

class TImageControl;

// The borderless window that shows the product picture while the program
// starts, then gives way to the main window.
class TFormSplash : public QWidget {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 402;
    static constexpr int ClientHeight = 252;
    static constexpr int DelayMs = 3000;

    // showMain runs once the delay is over and the splash window is gone.
    explicit TFormSplash(std::function<void()> showMain);

    // What happens once the splash window is gone.
    void SetShowMain(std::function<void()> showMain) { showMain_ = std::move(showMain); }

    QTimer& Timer1() { return timer1_; }
    TImageControl& Image1() { return *image1_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void FormCreate();
    void Timer1Timer();

    std::function<void()> showMain_;
    TImageControl* image1_;
    QTimer timer1_;
};

} // namespace framolo
