#include "preview/avi_player.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include <QPainter>
#include <QPalette>

#include "platform/changed_value.h"
#include "platform/graphics/mul_div.h"
#include "preview/qt_sound_device.h"

namespace framolo {

namespace {

// A packed DIB as a top-down RGB32 image; null for layouts the decoder never
// delivers.
QImage DibToImage(const void* dib) {
    TBitmapInfoHeader h;
    std::memcpy(&h, dib, sizeof h);
    const int bits = h.biBitCount;
    if (h.biSize < sizeof h || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN ||
        h.biCompression != BI_RGB || (bits != 8 && bits != 24 && bits != 32)) {
        return {};
    }
    const int w = h.biWidth;
    const int rows = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    const std::size_t colours =
        bits == 8 ? (h.biClrUsed != 0 ? std::min<std::size_t>(h.biClrUsed, 256) : 256) : 0;
    const auto* base = static_cast<const std::uint8_t*>(dib);
    const std::uint8_t* table = base + h.biSize;
    const std::uint8_t* pixels = table + 4 * colours;
    const std::size_t stride =
        (static_cast<std::size_t>(w) * static_cast<std::size_t>(bits) + 31) / 32 * 4;
    QRgb palette[256] = {};
    for (std::size_t i = 0; i < colours; ++i) {
        palette[i] = qRgb(table[4 * i + 2], table[4 * i + 1], table[4 * i]);
    }
    QImage image(w, rows, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    for (int y = 0; y < rows; ++y) {
        const std::size_t from = static_cast<std::size_t>(h.biHeight > 0 ? rows - 1 - y : y);
        const std::uint8_t* s = pixels + from * stride;
        auto* d = reinterpret_cast<QRgb*>(image.scanLine(y));
        if (bits == 8) {
            for (int x = 0; x < w; ++x) {
                d[x] = palette[s[x]];
            }
        } else if (bits == 24) {
            for (int x = 0; x < w; ++x, s += 3) {
                d[x] = qRgb(s[2], s[1], s[0]);
            }
        } else {
            for (int x = 0; x < w; ++x, s += 4) {
                d[x] = qRgb(s[2], s[1], s[0]);
            }
        }
    }
    return image;
}

} // namespace

TAVIPlayer::TAVIPlayer(QWidget* parent) : TAVIPlayer(parent, nullptr) {}

TAVIPlayer::TAVIPlayer(QWidget* parent, std::unique_ptr<TSoundDevice> sound) : QWidget(parent) {
    resize(100, 50);
    if (!sound) {
        sound = std::make_unique<TQtSoundDevice>();
    }
    FAudio = std::make_unique<TAudioPlay>(std::move(sound));
    FColor = palette().color(QPalette::Window);
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, [this] { ClockFired(); });
    UpdateOpaque();
}

TAVIPlayer::~TAVIPlayer() {
    FDestroying = true;
    Stop();
    Close();
    FAudio.reset();
}

// ---- Opening and closing ----

void TAVIPlayer::Open() {
    if (FFileName.empty() || FOpened) {
        return;
    }
    auto clip = std::make_unique<TClip>();
    if (AVIFileOpen(clip->File.File, FFileName, OF_READ) != AVIERR_OK) {
        clip->File.File = nullptr;
        return;
    }
    if (AVIFileGetStream(clip->File.File, clip->Video.Stream, streamtypeVIDEO, 0) != AVIERR_OK) {
        clip->Video.Stream = nullptr;
        return;
    }
    clip->Frames.GetFrame = AVIStreamGetFrameOpen(clip->Video.Stream, nullptr);
    if (clip->Frames.GetFrame == nullptr) {
        return;
    }
    // A clip without sound simply plays silently.
    if (AVIFileGetStream(clip->File.File, clip->Audio.Stream, streamtypeAUDIO, 0) != AVIERR_OK) {
        clip->Audio.Stream = nullptr;
    }
    FClip = std::move(clip);
    TAVIStreamInfo info;
    AVIStreamInfo(VideoStream(), info, static_cast<std::int32_t>(sizeof info));
    // A file cut short holds fewer frames than its header promises: only
    // those can be shown.
    FFrameCount = AVIStreamLengthInFile(VideoStream());
    FFrameWidth = info.rcFrame.Right - info.rcFrame.Left;
    FFrameHeight = info.rcFrame.Bottom - info.rcFrame.Top;
    FStartFrame = AVIStreamStart(VideoStream());
    FStopFrame = FFrameCount - 1;
    FPosition = FStartFrame;
    FOpened = true;
    FitToFrame();
    update();
    DoOpen();
}

void TAVIPlayer::Close() {
    if (!FOpened) {
        return;
    }
    if (FActive) {
        Stop();
    }
    // The sound reads the audio stream; it must be silent before the stream
    // goes, also when it outlived the play.
    FAudio->Stop();
    FClip.reset();
    FOpened = false;
    FFrameCount = 0;
    DoClose();
}

void TAVIPlayer::Reopen() {
    Close();
    Open();
}

// ---- Playing ----

void TAVIPlayer::Play(std::uint16_t FromFrame, std::uint16_t ToFrame, std::int32_t Count) {
    Stop();
    if (VideoStream() == nullptr) {
        return;
    }
    FPosition = FromFrame;
    FStartFrame = FromFrame;
    FStopFrame = ToFrame;
    FRepeatsLeft = Count;
    TAVIStreamInfo info;
    AVIStreamInfo(VideoStream(), info, static_cast<std::int32_t>(sizeof info));
    FInterval = MulDiv(info.dwScale, 1000, info.dwRate);
    if (FObserver != nullptr) {
        FObserver->ReportFrameDelay(FInterval);
    }
    DoStart();
    FActive = true;
    if (AudioStream() != nullptr) {
        StartSound(FPosition, FStopFrame);
    }
    // A clip without a usable rate never ticks: the play stays on its first
    // frame until stopped.
    if (FInterval > 0) {
        FTicksDone = 0;
        FClock.start();
        ScheduleTick();
    }
}

void TAVIPlayer::StartSound(std::int32_t From, std::int32_t To) {
    if (AudioStream() == nullptr || !FPlaySound) {
        return;
    }
    const std::int32_t fromSample =
        AVIStreamTimeToSample(AudioStream(), AVIStreamSampleToTime(VideoStream(), From));
    const std::int32_t toSample =
        AVIStreamTimeToSample(AudioStream(), AVIStreamSampleToTime(VideoStream(), To));
    FAudio->Play(AudioStream(), fromSample, toSample);
}

void TAVIPlayer::ScheduleTick() {
    const std::int64_t due = (FTicksDone + 1) * std::int64_t{FInterval} * 1000000;
    const std::int64_t wait = due - FClock.nsecsElapsed();
    FTimer.start(
        static_cast<int>(std::clamp<std::int64_t>((wait + 999999) / 1000000, 0, INT32_MAX)));
}

void TAVIPlayer::ClockFired() {
    ++FTicksDone;
    Tick();
    // Tick may have stopped the play, or started a new one with its own clock.
    if (TimerRunning() && !FTimer.isActive()) {
        ScheduleTick();
    }
}

// One tick, one frame: a paint slower than the period delays the next tick,
// so a slow machine plays longer instead of dropping frames.
void TAVIPlayer::Tick() {
    CheckEnd();
    ++FPosition;
    if (FActive && !FPainting) {
        PaintCurrent();
    }
}

void TAVIPlayer::CheckEnd() {
    if (FPosition < FStopFrame) {
        return;
    }
    if (FRepeatsLeft > 0) {
        --FRepeatsLeft;
        if (FRepeatsLeft == 0) {
            Stop();
            return;
        }
    }
    FPosition = FStartFrame - 1;
    StartSound(FStartFrame, FStopFrame);
}

void TAVIPlayer::Stop() {
    FTimer.stop();
    if (FActive) {
        FAudio->Stop();
        FActive = false;
        DoStop();
        PaintCurrent();
    }
}

std::int32_t TAVIPlayer::ClampFrame(std::int32_t n) const {
    if (!FOpened) {
        return n;
    }
    if (n > FFrameCount - 1) {
        return FFrameCount - 1;
    }
    return n < 0 ? 0 : n;
}

// ---- Painting ----

// A top-level player paints too: unlike a native child window, a Qt widget
// without a parent is a window of its own.
bool TAVIPlayer::PaintBlocked() const {
    return FPainting || FDestroying || !isVisible();
}

void TAVIPlayer::PaintCurrent() {
    if (PaintBlocked()) {
        return;
    }
    repaint();
}

QRect TAVIPlayer::CalcFrameRect() const {
    const int srcW = FOpened ? FFrameWidth : width();
    const int srcH = FOpened ? FFrameHeight : height();
    int x = 0;
    int y = 0;
    if (!FStretch && FCenter) {
        // Integer division truncates towards zero, also for a frame larger
        // than the widget.
        x = (width() - srcW) / 2;
        y = (height() - srcH) / 2;
    }
    return {x, y, srcW, srcH};
}

void TAVIPlayer::paintEvent(QPaintEvent*) {
    if (PaintBlocked()) {
        return;
    }
    QPainter painter(this);
    if (!FTransparent && !FStretch) {
        // Only the bands around the frame are filled, never the frame's own
        // area, so a play does not flicker.
        const QRect f = CalcFrameRect();
        const int w = width();
        const int h = height();
        const QRect bands[4] = {
            QRect(QPoint(0, 0), QPoint(w - 1, f.y() - 1)),
            QRect(QPoint(0, f.y()), QPoint(f.x() - 1, h - 1)),
            QRect(QPoint(f.x(), f.y() + f.height()), QPoint(w - 1, h - 1)),
            QRect(QPoint(f.x() + f.width(), f.y()), QPoint(w - 1, f.y() + f.height() - 1)),
        };
        for (const QRect& band : bands) {
            if (band.isValid()) {
                painter.fillRect(band, FColor);
            }
        }
    }
    if (FTransparent || FOpened) {
        DrawFrame(painter);
    } else {
        painter.fillRect(rect(), FColor);
    }
}

QImage TAVIPlayer::DecodeCurrent() {
    if (!FClip) {
        return {};
    }
    // Nothing may escape into Qt's event handling: a frame that cannot be
    // had, for whatever reason, is simply not drawn.
    try {
        const void* dib = AVIStreamGetFrame(FClip->Frames.GetFrame, FPosition);
        return dib != nullptr ? DibToImage(dib) : QImage();
    } catch (...) {
        return {};
    }
}

void TAVIPlayer::DrawFrame(QPainter& painter) {
    struct TPaintingGuard {
        bool& Flag;
        explicit TPaintingGuard(bool& flag) : Flag(flag) { Flag = true; }
        ~TPaintingGuard() { Flag = false; }
    };
    {
        const TPaintingGuard guard(FPainting);
        const QImage frame = DecodeCurrent();
        const QRect f = CalcFrameRect();
        const int w = FStretch ? width() : f.width();
        const int h = FStretch ? height() : f.height();
        if (!frame.isNull() && w > 0 && h > 0) {
            if (!FTransparent) {
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                painter.drawImage(QRect(f.x(), f.y(), w, h), frame);
            } else {
                QImage scaled =
                    frame.size() == QSize(w, h)
                        ? frame
                        : frame.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                scaled = scaled.convertToFormat(QImage::Format_ARGB32);
                const QRgb key = scaled.pixel(0, h - 1);
                for (int y = 0; y < h; ++y) {
                    auto* line = reinterpret_cast<QRgb*>(scaled.scanLine(y));
                    for (int x = 0; x < w; ++x) {
                        if (line[x] == key) {
                            line[x] = 0;
                        }
                    }
                }
                painter.drawImage(f.x(), f.y(), scaled);
            }
        }
    }
    if (FObserver != nullptr && !FObserver->TrackDragging()) {
        FObserver->ReportPosition(FPosition);
    }
}

void TAVIPlayer::FitToFrame() {
    if (!FAutoSize || !FOpened) {
        return;
    }
    // Qt repaints what the old bounds uncover in the parent and its other
    // children by itself.
    resize(std::max(0, FFrameWidth), std::max(0, FFrameHeight));
}

void TAVIPlayer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FitToFrame();
}

// Opaque players paint every pixel themselves; transparent ones let Qt draw
// the parent first, which is what shows through the keyed pixels.
void TAVIPlayer::UpdateOpaque() {
    setAttribute(Qt::WA_OpaquePaintEvent, !FTransparent);
    setAutoFillBackground(false);
}

// ---- Properties ----

void TAVIPlayer::SetActive(bool value) {
    if (value == FActive) {
        return;
    }
    if (value) {
        Play(static_cast<std::uint16_t>(FStartFrame), static_cast<std::uint16_t>(FStopFrame),
             FRepetitions);
    } else {
        Stop();
    }
}

void TAVIPlayer::SetAutoSize(bool value) {
    if (SetIfChanged(FAutoSize, value)) {
        FitToFrame();
    }
}

void TAVIPlayer::SetCenter(bool value) {
    if (SetIfChanged(FCenter, value)) {
        update();
    }
}

void TAVIPlayer::SetFileName(const std::string& value) {
    if (value == FFileName) {
        return;
    }
    const bool wasActive = FActive;
    FFileName = value;
    Reopen();
    update();
    if (value.empty() && parentWidget() != nullptr) {
        parentWidget()->update();
    }
    // A new clip starts from its own start; one that cannot be opened leaves
    // the player inactive.
    if (wasActive) {
        SetActive(true);
    }
}

void TAVIPlayer::SetPlaySound(bool value) {
    if (!SetIfChanged(FPlaySound, value)) {
        return;
    }
    if (FActive) {
        if (value) {
            StartSound(FPosition, FStopFrame);
        } else {
            FAudio->Stop();
        }
    }
}

void TAVIPlayer::SetRepetitions(std::int32_t value) {
    FRepetitions = value;
}

void TAVIPlayer::SetStartFrame(std::int32_t value) {
    FStartFrame = ClampFrame(value);
}

void TAVIPlayer::SetStopFrame(std::int32_t value) {
    FStopFrame = ClampFrame(value);
}

void TAVIPlayer::SetStretch(bool value) {
    if (SetIfChanged(FStretch, value)) {
        update();
    }
}

void TAVIPlayer::SetTransparent(bool value) {
    if (!SetIfChanged(FTransparent, value)) {
        return;
    }
    UpdateOpaque();
    update();
}

// Setting a position always ends a play, also when it does not move.
void TAVIPlayer::SetPosition(std::int32_t value) {
    Stop();
    FPosition = ClampFrame(value);
    update();
}

void TAVIPlayer::SetColor(const QColor& value) {
    if (SetIfChanged(FColor, value)) {
        update();
    }
}

} // namespace framolo
