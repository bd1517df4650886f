#include "app/window_host.h"

#include "app/form_main.h"
#include "app/message_boxes.h"
#include "controls/image_button.h"
#include "controls/image_control.h"
#include "controls/modal_seam.h"
#include "controls/search_combo_box.h"
#include "convert/job_support.h"
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

QLineEdit* TWindowHost::Field(TParamField field) const {
    QLineEdit* const edits[] = {form_.StartEdit_, form_.EndEdit_,    form_.StepEdit_,
                                form_.WidthEdit_, form_.HeightEdit_, form_.DelayEdit_,
                                form_.LoopEdit_};
    return edits[static_cast<std::size_t>(field)];
}

bool TWindowHost::HasStep() {
    return !form_.StepEdit_->text().isEmpty();
}

void TWindowHost::FocusField(TParamField field) {
    Field(field)->setFocus(Qt::OtherFocusReason);
}

void TWindowHost::Read(TFrameParams& params, std::initializer_list<TParamField> fields) {
    for (const TParamField field : fields)
        params[field] = StrToInt(Field(field)->text().toStdString());
}

void TWindowHost::ReadChoices(TFrameParams& params) {
    const TReductionItem item = WindowReductionItem(form_.ColorReductionBox_->currentIndex());
    params.Reduction = item.Reduction;
    params.Dither = ListDither(form_.DitherModeBox_->currentIndex());
    // The window's documents are always LZW-coded; only the last reduction
    // item asks for optimised frames.
    params.DataCoding = 0;
    params.Optimize = item.Optimize;
    params.Quality = item.Optimize && form_.fitQuality_ ? *form_.fitQuality_ : item.Quality;
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
    if (kind == TJobKind::AviToGif) {
        // A new run replaces the result before it, saved or not.
        form_.resultUnsaved_ = false;
        form_.ImageGifPreview_->show();
    }
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

void TWindowHost::ShowPreviewDocument(std::unique_ptr<TGIFDocument> document) {
    if (holding_) {
        heldDocument_ = std::move(document);
        return;
    }
    form_.ImageGifPreview_->SetPicture(std::move(document));
    form_.resultUnsaved_ = true;
}

TGraphic* TWindowHost::PreviewPicture() {
    if (heldDocument_)
        return heldDocument_.get();
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

void TWindowHost::ShowReport(int frameCount, const std::string& sizeKBText) {
    if (holding_) {
        heldReport_.emplace(frameCount, sizeKBText);
        return;
    }
    form_.ReportFrameCountLabel_->setText(QString::number(frameCount));
    // The size as the fields give it, whatever the run made of it.
    form_.ReportWidthLabel_->setText(form_.WidthEdit_->text());
    form_.ReportHeightLabel_->setText(form_.HeightEdit_->text());
    form_.Filesize_->setText(Q(sizeKBText));
    form_._kb_->show();
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

void TWindowHost::MarkReportStopped() {
    ReleaseResult();
    // The preview holds the last frame as a still picture, not a GIF: its size
    // would be no file's size.
    form_.Filesize_->setText(QStringLiteral("stopped"));
    form_.Filesize_->adjustSize();
    form_._kb_->hide();
}

void TWindowHost::ShowWarning(const std::string& message) {
    ShowBox(TBoxKind::Warning, Q(message), &form_);
}

void TWindowHost::ShowError(const std::string& message) {
    ShowBox(TBoxKind::Error, Q(message), &form_);
}

void TWindowHost::ShowInformation(const std::string& message) {
    if (holding_) {
        heldInformation_ = message;
        return;
    }
    ShowBox(TBoxKind::Information, Q(message), &form_);
}

void TWindowHost::HoldResult() {
    DropResult();
    holding_ = true;
}

void TWindowHost::ReleaseResult() {
    holding_ = false;
    if (heldDocument_)
        ShowPreviewDocument(std::move(heldDocument_));
    if (heldReport_)
        ShowReport(heldReport_->first, heldReport_->second);
    heldReport_.reset();
    if (heldInformation_) {
        const std::string message = *heldInformation_;
        heldInformation_.reset();
        ShowInformation(message);
    }
}

void TWindowHost::DropResult() {
    holding_ = false;
    heldDocument_.reset();
    heldReport_.reset();
    heldInformation_.reset();
}

void TWindowHost::ShowMessage(const std::string& message) {
    ShowBox(TBoxKind::Plain, Q(message), &form_);
}

void TWindowHost::ShowApplicationError(const std::string& message) {
    ShowBox(TBoxKind::ApplicationError, Q(JobErrorText(lastKind_, message)), &form_);
}

void TWindowHost::SetStatusLine(const std::string& line) {
    form_.ShowStatus(Q(line), lastKind_ != TJobKind::GifToAvi);
}

std::optional<std::string> TWindowHost::AskSaveFileName(const std::string& proposed,
                                                        const std::vector<TFileFilter>& filters) {
    QStringList names;
    for (const TFileFilter& filter : filters)
        names << Q(filter.Description) + QStringLiteral(" (") + Q(filter.Pattern) +
                     QLatin1Char(')');
    const std::optional<QString> chosen =
        TFormmain::AskSavePath(*form_.SaveDialog1_, names, Q(proposed));
    if (!chosen)
        return std::nullopt;
    // A name typed without an extension takes the one of the kind chosen in
    // the dialog, when that is not the first.
    const int kind = static_cast<int>(names.indexOf(form_.SaveDialog1_->selectedNameFilter()));
    if (kind > 0 && !chosen->isEmpty() && QFileInfo(*chosen).suffix().isEmpty()) {
        const std::string& pattern = filters[static_cast<std::size_t>(kind)].Pattern;
        return chosen->toStdString() + pattern.substr(pattern.find('.'));
    }
    return chosen->toStdString();
}

} // namespace framolo
