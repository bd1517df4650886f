#include "app/form_splash.h"

#include "app/artwork.h"
#include "controls/image_control.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace framolo {

TFormSplash::TFormSplash(std::function<void()> showMain)
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint), showMain_(std::move(showMain)),
      image1_(new TImageControl(this)) {
    setObjectName(QStringLiteral("FormSplash"));
    setFixedSize(ClientWidth, ClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    image1_->setObjectName(QStringLiteral("Image1"));
    image1_->setGeometry(1, 1, 400, 250);
    image1_->SetDisplayed(RenderArt(QStringLiteral("splash"), QSize(400, 250)));

    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer1_.setSingleShot(true);
    timer1_.setInterval(DelayMs);
    connect(&timer1_, &QTimer::timeout, this, &TFormSplash::Timer1Timer);
    FormCreate();
    timer1_.start();
}

void TFormSplash::FormCreate() {
    // Qt widgets paint through a back buffer already; the frame and the picture
    // are drawn in one pass, so nothing flickers.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TFormSplash::paintEvent(QPaintEvent* /*event*/) {
    // The frame: a one-pixel black rectangle the picture leaves uncovered.
    QPainter painter(this);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    painter.drawRect(QRect(0, 0, width() - 1, height() - 1));
}

void TFormSplash::Timer1Timer() {
    timer1_.stop();
    hide();
    // The main window shows before the splash window goes, so the application
    // never finds itself without a window and quits.
    if (showMain_)
        showMain_();
    deleteLater();
}

} // namespace framolo
