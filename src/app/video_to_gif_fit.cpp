// The size of the GIF before converting, and Convert under a size limit.
#include "app/background_estimate.h"
#include "app/message_boxes.h"
#include "app/page_window.h"
#include "app/video_to_gif_page.h"
#include "app/window_parts.h"
#include "controls/search_combo_box.h"
#include "convert/avi_to_gif_job.h"
#include "convert/limited_conversion.h"
#include "convert/size_estimate.h"
#include "convert/size_fit.h"
#include "preview/avi_player.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>

#include <algorithm>
#include <cmath>
#include <iterator>

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
    const bool usable = params && params->Step > 0 && !SizeProblem(params->Width, params->Height) &&
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
    // The run takes the small-file road; the person's own choice of method,
    // and after a failed fit the person's own fields, come back afterwards.
    struct TOwnChoices {
        TVideoToGifPage& Page;
        const int Item = Page.ColorReductionBox_->currentIndex();
        const QString Texts[4] = {Page.StepEdit_->text(), Page.WidthEdit_->text(),
                                  Page.HeightEdit_->text(), Page.DelayEdit_->text()};
        bool RestoreFields = false;
        ~TOwnChoices() {
            if (RestoreFields) {
                QLineEdit* const fields[] = {Page.StepEdit_, Page.WidthEdit_, Page.HeightEdit_,
                                             Page.DelayEdit_};
                for (std::size_t i = 0; i < std::size(fields); ++i)
                    fields[i]->setText(Texts[i]);
            }
            Page.ColorReductionBox_->setCurrentIndex(Item);
        }
    } own{*this};
    // Without a clip, or with a field that holds no number, the plain run
    // says what is wrong.
    ColorReductionBox_->setCurrentIndex(kBestSmallerIndex);
    const std::optional<TFrameParams> base = FieldParams();
    if (AVIPlayer1_->FileName().empty() || !base || base->Step <= 0 || base->Width <= 0 ||
        base->Height <= 0) {
        TAviToGifJob(*host_, *host_, ConversionThreads()).Run();
        return;
    }
    estimate_->Cancel();
    EstimateLabel_->clear();
    window_.SetStopRequested(false);
    TSizeSampler sampler(window_.CurrentFileName(), *host_, 1);
    sampler.SetWholeWhenStill(false);
    // Each try shows its settings in the fields and its GIF, held until it
    // is known to fit.
    struct TWindowConverter : TLimitedConverter {
        TVideoToGifPage& Page;
        TSizeSampler& Sampler;
        TWindowConverter(TVideoToGifPage& page, TSizeSampler& sampler)
            : Page(page), Sampler(sampler) {}
        std::int64_t Estimate(const TFrameParams& params) override {
            return Sampler.Estimate(params).Bytes;
        }
        std::optional<TFitChoice> Search(const std::function<TFitChoice()>& choose) override {
            // The search shows the Stop button, which ends it.
            Page.host_->BeginRun(TJobKind::AviToGif);
            const TFitChoice choice = choose();
            Page.host_->EndRun(TJobKind::AviToGif);
            if (Page.window_.StopRequested())
                return std::nullopt;
            return choice;
        }
        TJobOutcome Convert(const TFrameParams& chosen) override {
            Page.StepEdit_->setText(QString::number(chosen.Step));
            Page.WidthEdit_->setText(QString::number(chosen.Width));
            Page.HeightEdit_->setText(QString::number(chosen.Height));
            Page.DelayEdit_->setText(QString::number(chosen.Delay));
            // The fields' changes asked for an estimate the conversion makes
            // needless: it is asked for again once the run is over.
            Page.estimate_->Cancel();
            Page.fitQuality_ = chosen.Quality;
            Page.host_->HoldResult();
            const TJobOutcome outcome =
                TAviToGifJob(*Page.host_, *Page.host_, ConversionThreads()).Run();
            Page.fitQuality_.reset();
            return outcome;
        }
        void Keep() override { Page.host_->ReleaseResult(); }
        void Drop() override { Page.host_->DropResult(); }
    } converter(*this, sampler);
    const TLimitedRun run = RunUnderLimit(*base, limit, converter);
    own.RestoreFields = run.Outcome.End != TJobEnd::Finished;
    if (run.Stopped && run.Encodes == 0)
        return;
    if (run.Outcome.End == TJobEnd::Finished) {
        window_.ShowStatus(QStringLiteral("Fits under %1: quality %2, step %3, %4 x %5, %6")
                               .arg(FitUnderEdit_->text().trimmed() + QStringLiteral(" MB"))
                               .arg(run.Params.Quality)
                               .arg(run.Params.Step)
                               .arg(run.Params.Width)
                               .arg(run.Params.Height)
                               .arg(QString::fromStdString(SizeText(run.Outcome.Bytes))));
        RequestEstimate();
        return;
    }
    if (run.Outcome.End != TJobEnd::NotStarted) {
        RequestEstimate();
        return;
    }
    // Never a GIF over the limit.
    DiscardResult();
    RequestEstimate();
    const QString failed =
        QStringLiteral("No GIF of this clip fits under %1 MB with the settings allowed")
            .arg(FitUnderEdit_->text().trimmed());
    window_.ShowStatus(failed);
    window_.Progress().setValue(window_.Progress().minimum());
    ShowBox(TBoxKind::Error,
            failed + QStringLiteral("; the last try took %1 bytes").arg(run.LastBytes),
            window_.BoxParent());
}

} // namespace framolo
