// The size of the GIF before converting, and Convert under a size limit.
#include "app/background_estimate.h"
#include "app/message_boxes.h"
#include "app/page_window.h"
#include "app/video_to_gif_page.h"
#include "controls/search_combo_box.h"
#include "convert/avi_to_gif_job.h"
#include "convert/size_estimate.h"
#include "convert/size_fit.h"
#include "preview/avi_player.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>

#include <algorithm>
#include <cmath>

namespace framolo {

std::optional<std::int64_t> TVideoToGifPage::ParseMegabytes(const QString& text) {
    bool ok = false;
    const double megabytes = QLocale::c().toDouble(text.trimmed(), &ok);
    // Up to a terabyte, and at least one byte.
    if (!ok || !std::isfinite(megabytes) || megabytes > 1024.0 * 1024.0)
        return std::nullopt;
    const auto bytes = static_cast<std::int64_t>(std::floor(megabytes * 1024.0 * 1024.0));
    if (bytes < 1)
        return std::nullopt;
    return bytes;
}

std::optional<TFrameParams> TVideoToGifPage::FieldParams() {
    TFrameParams params;
    const std::pair<QLineEdit*, TParamField> fields[] = {
        {StartEdit_, TParamField::Start},   {EndEdit_, TParamField::End},
        {StepEdit_, TParamField::Step},     {WidthEdit_, TParamField::Width},
        {HeightEdit_, TParamField::Height}, {DelayEdit_, TParamField::Delay},
        {LoopEdit_, TParamField::Loop}};
    for (const auto& [edit, field] : fields) {
        bool ok = false;
        params[field] = edit->text().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    ReadChoices(params);
    return params;
}

void TVideoToGifPage::RequestEstimate() {
    const std::optional<TFrameParams> params =
        AVIPlayer1_->FileName().empty() ? std::nullopt : FieldParams();
    const bool usable = params && params->Step > 0 && params->Width > 0 && params->Height > 0 &&
                        params->Start >= clipFirst_ && params->Start <= params->End &&
                        params->End <= clipLast_ && params->Reduction.has_value();
    if (!usable) {
        estimate_->Cancel();
        EstimateLabel_->clear();
        return;
    }
    EstimateLabel_->setText(QStringLiteral("About \u2026 MB"));
    estimate_->Request(window_.CurrentFileName(), *params);
}

void TVideoToGifPage::ConvertUnderLimit(std::int64_t limit) {
    // Without a clip, or with a field that holds no number, the plain run
    // says what is wrong.
    ColorReductionBox_->setCurrentIndex(kBestSmallerIndex);
    const std::optional<TFrameParams> base = FieldParams();
    if (AVIPlayer1_->FileName().empty() || !base || base->Step <= 0 || base->Width <= 0 ||
        base->Height <= 0) {
        TAviToGifJob(*host_, *host_).Run();
        return;
    }
    estimate_->Cancel();
    EstimateLabel_->clear();
    window_.SetStopRequested(false);
    TSizeSampler sampler(window_.CurrentFileName(), *host_, 1);
    sampler.SetWholeWhenStill(false);
    TLimitedSearch search(
        *base, limit, [&](const TFrameParams& params) { return sampler.Estimate(params).Bytes; });
    std::int64_t smallest = 0;
    for (int conversion = 0; conversion < TLimitedSearch::kMostConversions; ++conversion) {
        // The search shows the Stop button, which ends it.
        host_->BeginRun(TJobKind::AviToGif);
        const TFitChoice choice = search.Choose();
        host_->EndRun(TJobKind::AviToGif);
        if (window_.StopRequested())
            return;
        const TFrameParams chosen = FitParams(*base, choice.Point);
        StepEdit_->setText(QString::number(chosen.Step));
        WidthEdit_->setText(QString::number(chosen.Width));
        HeightEdit_->setText(QString::number(chosen.Height));
        DelayEdit_->setText(QString::number(chosen.Delay));
        // The fields' changes asked for an estimate the conversion makes
        // needless: it is asked for again once the run is over.
        estimate_->Cancel();
        fitQuality_ = chosen.Quality;
        host_->HoldResult();
        const TJobOutcome outcome = TAviToGifJob(*host_, *host_).Run();
        fitQuality_.reset();
        const std::int64_t bytes = outcome.Bytes;
        if (outcome.End != TJobEnd::Finished || (bytes > 0 && bytes <= limit))
            host_->ReleaseResult();
        else
            host_->DropResult();
        if (outcome.End != TJobEnd::Finished) {
            RequestEstimate();
            return;
        }
        if (bytes > 0 && bytes <= limit) {
            window_.ShowStatus(QStringLiteral("Fits under %1: quality %2, step %3, %4 x %5, %6")
                                   .arg(FitUnderEdit_->text().trimmed() + QStringLiteral(" MB"))
                                   .arg(chosen.Quality)
                                   .arg(chosen.Step)
                                   .arg(chosen.Width)
                                   .arg(chosen.Height)
                                   .arg(QString::fromStdString(SizeText(bytes))));
            RequestEstimate();
            return;
        }
        smallest = bytes;
        if (!choice.Fits)
            break;
        search.Over(choice, bytes);
    }
    // Never a GIF over the limit.
    DiscardResult();
    RequestEstimate();
    ShowBox(TBoxKind::Error,
            QStringLiteral("No GIF of this clip fits under %1 MB with the settings allowed; the "
                           "last try took %2 bytes")
                .arg(FitUnderEdit_->text().trimmed())
                .arg(smallest),
            window_.BoxParent());
}

} // namespace framolo
