#include "app/window_host.h"

#include "app/form_main.h"
#include "app/message_boxes.h"
#include "controls/image_button.h"
#include "controls/image_control.h"
#include "controls/modal_seam.h"
#include "controls/search_combo_box.h"
#include "gif/gif_document.h"
#include "platform/graphics/bitmap.h"
#include "preview/gif_preview.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QToolButton>

namespace framolo {

namespace {
QString Q(const std::string& text) {
    return QString::fromStdString(text);
}
} // namespace

std::string TWindowHost::FieldText(TParamField field) {
    QLineEdit* edit = nullptr;
    switch (field) {
    case TParamField::Start:
        edit = form_.StartEdit_;
        break;
    case TParamField::End:
        edit = form_.EndEdit_;
        break;
    case TParamField::Step:
        edit = form_.StepEdit_;
        break;
    case TParamField::Width:
        edit = form_.WidthEdit_;
        break;
    case TParamField::Height:
        edit = form_.HeightEdit_;
        break;
    case TParamField::Delay:
        edit = form_.DelayEdit_;
        break;
    case TParamField::Loop:
        edit = form_.LoopEdit_;
        break;
    }
    return edit->text().toStdString();
}

int TWindowHost::ColorReductionIndex() {
    return form_.ColorReductionBox_->currentIndex();
}

int TWindowHost::DitherModeIndex() {
    return form_.DitherModeBox_->currentIndex();
}

void TWindowHost::FocusField(TParamField field) {
    if (field == TParamField::Step)
        form_.StepEdit_->setFocus(Qt::OtherFocusReason);
}

bool TWindowHost::SourceOpen() {
    return !form_.AVIPlayer1_->FileName().empty();
}

void TWindowHost::StopSourcePlayer() {
    form_.ToolButton8Click();
}

const std::string& TWindowHost::CurrentFileName() {
    return form_.currentFileName_;
}

void TWindowHost::SetCurrentFileName(const std::string& name) {
    form_.currentFileName_ = name;
}

bool TWindowHost::StopRequested() {
    return form_.stopRequested_;
}

void TWindowHost::SetStopRequested(bool value) {
    form_.stopRequested_ = value;
}

void TWindowHost::ProcessMessages() {
    QCoreApplication::processEvents();
}

void TWindowHost::BeginRun(TJobKind kind) {
    lastKind_ = kind;
    if (kind == TJobKind::AviToGif)
        form_.ImageGifPreview_->show();
    form_.ShowRunButtons(kind, true);
    if (kind == TJobKind::AviToGif)
        form_.Image_Gif_->hide();
    if (!waitCursor_)
        waitCursor_.emplace(Qt::WaitCursor);
}

void TWindowHost::EndRun(TJobKind kind) {
    form_.ShowRunButtons(kind, false);
    waitCursor_.reset();
}

void TWindowHost::SetProgressRange(int minimum, int maximum) {
    form_.ProgressBar_->setRange(minimum, maximum);
}

void TWindowHost::SetProgressPosition(int position) {
    form_.ProgressBar_->setValue(position);
}

void TWindowHost::ShowProgress() {
    form_.ProgressBar_->show();
}

int TWindowHost::ProgressMaximum() {
    return form_.ProgressBar_->maximum();
}

void TWindowHost::FitGifPreview(int width, int height) {
    TFormmain::FitInPanel(form_.ImageGifPreview_, width, height);
    form_.ImageGifPreview_->SetStretch(true);
}

void TWindowHost::ShowPreviewBitmap(const TBitmap& bitmap) {
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(&bitmap);
    form_.ImageGifPreview_->SetPicture(std::move(copy));
    form_.ImageGifPreview_->repaint();
}

void TWindowHost::ShowPreviewDocument(const TGIFDocument& document) {
    auto copy = std::make_unique<TGIFDocument>();
    copy->Assign(&document);
    form_.ImageGifPreview_->SetPicture(std::move(copy));
}

TGraphic* TWindowHost::PreviewPicture() {
    return form_.ImageGifPreview_->Picture();
}

TGIFDocument* TWindowHost::SourceDocument() {
    return dynamic_cast<TGIFDocument*>(form_.Gifpreview_B_->Picture());
}

bool TWindowHost::PreviewAvi(const std::string& fileName) {
    TAVIPlayer& player = *form_.AVIPlayer2_;
    form_.ImageAviSplash_B_->hide();
    form_.cannotPreviewLabel_->hide();
    player.show();
    player.setGeometry(form_.Gifpreview_B_->geometry());
    player.SetAutoSize(false);
    player.SetStretch(form_.Gifpreview_B_->Stretch());
    player.SetFileName(fileName);
    player.SetActive(true);
    // The player fails silently; a clip it could not open has no frames.
    if (player.FrameCount() > 0)
        return true;
    player.hide();
    form_.cannotPreviewLabel_->show();
    return false;
}

void TWindowHost::ShowReport(int frameCount, const std::string& widthText,
                             const std::string& heightText, const std::string& sizeKBText) {
    form_.ReportFrameCountLabel_->setText(QString::number(frameCount));
    form_.ReportWidthLabel_->setText(Q(widthText));
    form_.ReportHeightLabel_->setText(Q(heightText));
    form_.Filesize_->setText(Q(sizeKBText));
    // Each unit sits 5 pixels after the right edge of its value.
    const auto follow = [](QLabel* value, QLabel* unit) {
        value->adjustSize();
        unit->move(value->x() + value->width() + 5, unit->y());
    };
    follow(form_.ReportWidthLabel_, form_.reportWidthUnit_);
    follow(form_.ReportHeightLabel_, form_.reportHeightUnit_);
    follow(form_.Filesize_, form_._kb_);
    form_.Panel2_->show();
}

void TWindowHost::ShowWarning(const std::string& message) {
    ShowBox(TBoxKind::Warning, Q(message), &form_);
}

void TWindowHost::ShowError(const std::string& message) {
    ShowBox(TBoxKind::Error, Q(message), &form_);
}

void TWindowHost::ShowInformation(const std::string& message) {
    ShowBox(TBoxKind::Information, Q(message), &form_);
}

void TWindowHost::ShowMessage(const std::string& message) {
    ShowBox(TBoxKind::Plain, Q(message), &form_);
}

void TWindowHost::ShowApplicationError(const std::string& message) {
    ShowBox(TBoxKind::ApplicationError, Q(message), &form_);
}

void TWindowHost::SetStatusLine(const std::string& line) {
    form_.ShowStatus(Q(line), lastKind_ != TJobKind::GifToAvi);
}

std::optional<std::string> TWindowHost::AskSaveFileName(const std::string& proposed,
                                                        const std::string& filterDescription,
                                                        const std::string& filterPattern) {
    const std::optional<QString> chosen = TFormmain::AskSavePath(
        *form_.SaveDialog1_,
        Q(filterDescription) + QStringLiteral(" (") + Q(filterPattern) + QLatin1Char(')'),
        Q(proposed));
    if (!chosen)
        return std::nullopt;
    return chosen->toStdString();
}

} // namespace framolo
