// Crop and frame order on the AVI to GIF page.
#include "app/artwork.h"
#include "app/page_window.h"
#include "app/video_to_gif_page.h"
#include "app/window_parts.h"
#include "controls/search_combo_box.h"
#include "convert/job_support.h"
#include "preview/avi_player.h"
#include "preview/crop_overlay.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

namespace framolo {

void TVideoToGifPage::BuildCrop(QWidget* page) {
    // Beside the player's buttons: crop mode, in which a rectangle is dragged
    // on the player's picture.
    CropButton_ = Place(new QToolButton(page), "CropButton", QRect(150, 191, 25, 25));
    CropButton_->setCheckable(true);
    CropButton_->setAutoRaise(true);
    CropButton_->setIcon(ArtIcon(QStringLiteral("tb_crop"), QSize(18, 18)));
    CropButton_->setIconSize(QSize(18, 18));
    CropButton_->setAccessibleName(QStringLiteral("Crop"));
    CropButton_->setToolTip(
        QStringLiteral("Crop: drag a rectangle on the picture; Esc or this button clears it"));
    CropButton_->setEnabled(false);
    CropButton_->installEventFilter(this);
    connect(CropButton_, &QToolButton::toggled, this, [this](bool on) { SetCropMode(on); });
    cropOverlay_ = new TCropOverlay(*AVIPlayer1_);
    cropOverlay_->installEventFilter(this);
    connect(cropOverlay_, &TCropOverlay::CropChanged, this, [this] { CropChanged(); });

    // Below the parameters: the order the frames are written in.
    OrderBox_ = Place(new TSearchComboBox(page), "OrderBox", QRect(192, 232, 92, 20));
    OrderBox_->addItems(
        {QStringLiteral("Forward"), QStringLiteral("Reverse"), QStringLiteral("Bounce")});
    OrderBox_->setAccessibleName(QStringLiteral("Frame order"));
    OrderBox_->setToolTip(QStringLiteral(
        "The order of the frames: as they come, backwards, or forwards then backwards"));
    OrderBox_->setCurrentIndex(0);
    OrderBox_->setEnabled(false);
    connect(OrderBox_, &QComboBox::currentIndexChanged, this, [this] { RequestEstimate(); });
}

std::optional<TCropRect> TVideoToGifPage::CropRect() const {
    if (!cropOverlay_ || !cropOverlay_->Crop())
        return std::nullopt;
    const QRect r = *cropOverlay_->Crop();
    return TCropRect{r.x(), r.y(), r.width(), r.height()};
}

QSize TVideoToGifPage::PictureSize() const {
    if (const auto crop = CropRect())
        return {crop->Width, crop->Height};
    return {AVIPlayer1_->FrameWidth(), AVIPlayer1_->FrameHeight()};
}

void TVideoToGifPage::SetCropMode(bool on) {
    if (CropButton_->isChecked() != on)
        CropButton_->setChecked(on);
    // Lit while on, as select mode's button is.
    CropButton_->setIcon(
        ArtIcon(on ? QStringLiteral("tb_crop_on") : QStringLiteral("tb_crop"), QSize(18, 18)));
    if (!on && cropOverlay_->hasFocus())
        CropButton_->setFocus(Qt::OtherFocusReason);
    cropOverlay_->SetActive(on);
    if (!on)
        cropOverlay_->SetCrop(std::nullopt);
}

void TVideoToGifPage::ResetCrop() {
    SetCropMode(false);
    OrderBox_->setCurrentIndex(0);
}

void TVideoToGifPage::CropChanged() {
    // The GIF starts at the picture's size, crop or clip.
    const QSize size = PictureSize();
    if (hasClip_ && size.width() > 0 && size.height() > 0) {
        WidthEdit_->setText(QString::number(size.width()));
        HeightEdit_->setText(QString::number(size.height()));
    }
    if (const auto crop = CropRect())
        window_.ShowStatus(QStringLiteral("Crop %1 x %2 at %3, %4")
                               .arg(crop->Width)
                               .arg(crop->Height)
                               .arg(crop->X)
                               .arg(crop->Y));
    RequestEstimate();
}

bool TVideoToGifPage::CropKey(QEvent* event) {
    // In crop mode Escape clears the crop, before any shortcut takes it.
    if (!CropButton_->isChecked())
        return false;
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier)
        return false;
    event->accept();
    if (event->type() == QEvent::KeyPress)
        SetCropMode(false);
    return true;
}

} // namespace framolo
