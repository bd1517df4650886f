#include "app/gif_to_video_page.h"

#include "app/damage_notes.h"
#include "app/last_folder.h"
#include "app/main_texts.h"
#include "app/message_boxes.h"
#include "app/page_window.h"
#include "app/wait_cursor.h"
#include "app/window_parts.h"
#include "controls/framed_group_box.h"
#include "controls/image_button.h"
#include "controls/image_control.h"
#include "controls/places_open_dialog.h"
#include "convert/gif_to_video_job.h"
#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "platform/graphics/bitmap.h"
#include "preview/avi_player.h"
#include "preview/gif_preview.h"

#include <QCoreApplication>
#include <QLabel>

#include <exception>
#include <string>
#include <vector>

namespace framolo {

namespace {
constexpr const char* kGifFilter = "gif files ( *.gif ) |*.gif";
} // namespace

TGifToVideoPage::TGifToVideoPage(QWidget* sheet, TPageWindow& window, TWindowActions& actions,
                                 QFileDialog& saveDialog)
    : QObject(sheet), window_(window), saveDialog_(saveDialog) {
    Build(sheet);
    // A double click on a run button starts the run and no more: its second
    // click would land on the stop button that took the button's place.
    for (TImageButton* run : {ConvertGifButton_, StopGifButton_})
        run->SetIgnoresDoubleClick(true);
    actions.Bind(ConvertGifButton_, TCommand::Convert);
    actions.Bind(StopGifButton_, TCommand::Stop);

    ImageGifSplash_B_->show();
    ImageAviSplash_B_->show();
    Gifpreview_B_->hide();
    AVIPlayer2_->hide();
    cannotPreviewLabel_->hide();
    StopGifButton_->hide();
    ConvertGifButton_->show();
}

void TGifToVideoPage::Build(QWidget* page) {
    auto* GifSourceGroup = Place(new TFramedGroupBox(QStringLiteral(" GIF Preview "), page),
                                 "GifSourceGroup", QRect(9, 11, 280, 230));
    auto* PanelGifPreview_B =
        MakePanel(GifSourceGroup, "PanelGifPreview_B", QRect(2, 14, 276, 213));
    ImageGifSplash_B_ =
        MakeImage(PanelGifPreview_B, "ImageGifSplash_B", QRect(0, 0, 276, 213), "placeholder_gif");
    Gifpreview_B_ =
        Place(new TGIFPreview(PanelGifPreview_B), "Gifpreview_B", QRect(0, 0, 276, 213));
    PaintOnPage(Gifpreview_B_);
    auto* AviResultGroup = Place(new TFramedGroupBox(QStringLiteral(" AVI Preview "), page),
                                 "AviResultGroup", QRect(345, 11, 280, 230));
    auto* PanelAviPreview_B =
        MakePanel(AviResultGroup, "PanelAviPreview_B", QRect(2, 14, 276, 213));
    ImageAviSplash_B_ =
        MakeImage(PanelAviPreview_B, "ImageAviSplash_B", QRect(0, 0, 276, 213), "placeholder_avi");
    cannotPreviewLabel_ = MakeLabel(PanelAviPreview_B, "Cannot preview AVI", QRect(0, 0, 276, 213));
    cannotPreviewLabel_->setAlignment(Qt::AlignCenter);
    AVIPlayer2_ = MakePlayer(PanelAviPreview_B, "AVIPlayer2", QRect(0, 0, 276, 213));
    ConvertGifButton_ = MakeCommandButton(page, "ConvertGifButton", "convert",
                                          QRect(292, 95, 46, 46), "Convert GIF to AVI");
    StopGifButton_ =
        MakeCommandButton(page, "StopGifButton", "stop", QRect(295, 95, 46, 46), "Stop working");
}

void TGifToVideoPage::ChooseGif(TPlacesOpenDialog& dialog) {
    dialog.SetDefaultExt(QStringLiteral("gif"));
    dialog.SetFilter(QString::fromLatin1(kGifFilter));
    StartInLastFolder(dialog);
    if (dialog.Execute()) {
        RememberFolder(dialog.FileName());
        OpenGif(dialog.FileName().toStdString());
    }
}

void TGifToVideoPage::OpenGif(const std::string& chosen) {
    QCoreApplication::processEvents();
    TWaitCursor wait(Qt::WaitCursor);
    ImageGifSplash_B_->hide();
    Gifpreview_B_->show();
    window_.SetCurrentFileName(chosen);
    gifFileName_.clear();
    std::vector<std::string> warnings;
    try {
        std::unique_ptr<TGraphic> picture;
        TGIFDocument* gif = nullptr;
        const std::string extension = LowerCase(ExtractFileExt(chosen));
        if (extension == ".gif") {
            auto document = std::make_unique<TGIFDocument>();
            gif = document.get();
            picture = std::move(document);
        } else if (extension == ".bmp") {
            picture = std::make_unique<TBitmap>();
        } else {
            throw std::runtime_error("Unknown picture file extension (" + extension + ")");
        }
        // What the reader forgave, said in the status line once it is read.
        if (gif != nullptr)
            gif->WarningHandler = [&warnings](TPersistent*, int, const std::string& message) {
                warnings.push_back(message);
            };
        picture->LoadFromFile(chosen);
        if (gif != nullptr)
            gif->WarningHandler = nullptr;
        Gifpreview_B_->SetPicture(std::move(picture));
    } catch (const std::exception& error) {
        Gifpreview_B_->SetPicture(nullptr);
        ShowBox(TBoxKind::ApplicationError, QString::fromStdString(error.what()),
                window_.BoxParent());
        return;
    }
    const auto* document = dynamic_cast<const TGIFDocument*>(Gifpreview_B_->Picture());
    if (document != nullptr && !document->Empty()) {
        gifFileName_ = chosen;
        FitInPanel(Gifpreview_B_, document->Width(), document->Height());
        Gifpreview_B_->SetStretch(true);
        window_.ShowStatus(GifDamagedText(warnings, document->Frames().Count())
                               .value_or(QString::fromLatin1(GifOpenedText)));
    } else {
        // Read without an error, yet nothing to show: the person hears why.
        window_.ShowStatus(QString::fromLatin1(GifWithoutFramesText));
    }
}

void TGifToVideoPage::Convert() {
    // The GIF image stays the page's document after a run, so it converts
    // again, to another file or another kind.
    if (SourceDocument() != nullptr && !gifFileName_.empty())
        window_.SetCurrentFileName(gifFileName_);
    TGifToVideoJob(*host_).Run();
}

void TGifToVideoPage::StopRun() {
    window_.SetStopRequested(true);
    SetRunning(false);
}

void TGifToVideoPage::SetRunning(bool running) {
    running_ = running;
    ConvertGifButton_->setVisible(!running);
    StopGifButton_->setVisible(running);
    emit Changed();
}

void TGifToVideoPage::Clear() {
    Gifpreview_B_->SetPicture(nullptr);
    gifFileName_.clear();
    AVIPlayer2_->SetFileName(std::string());
    Gifpreview_B_->hide();
    AVIPlayer2_->hide();
    cannotPreviewLabel_->hide();
    ImageGifSplash_B_->show();
    ImageAviSplash_B_->show();
}

QList<QWidget*> TGifToVideoPage::TabChain() const {
    return {ConvertGifButton_, StopGifButton_};
}

TGIFDocument* TGifToVideoPage::SourceDocument() {
    return dynamic_cast<TGIFDocument*>(Gifpreview_B_->Picture());
}

bool TGifToVideoPage::PreviewVideo(const std::string& fileName) {
    TAVIPlayer& player = *AVIPlayer2_;
    ImageAviSplash_B_->hide();
    cannotPreviewLabel_->hide();
    player.show();
    player.setGeometry(Gifpreview_B_->geometry());
    player.SetAutoSize(false);
    player.SetStretch(Gifpreview_B_->Stretch());
    player.SetFileName(fileName);
    player.SetActive(true);
    // The player fails silently; a clip it could not open has no frames.
    if (player.FrameCount() > 0)
        return true;
    player.hide();
    cannotPreviewLabel_->show();
    return false;
}

} // namespace framolo
