#include "app/background_estimate.h"

#include "convert/conversion_sink.h"
#include "convert/size_estimate.h"

#include <exception>
#include <utility>

namespace framolo {

namespace {

// A worker's sink: silent, stopping as soon as its estimate is out of date.
class TWorkerSink : public TConversionSink {
public:
    TWorkerSink(std::string clipFile, std::shared_ptr<std::atomic<std::uint64_t>> generation,
                std::uint64_t own)
        : clipFile_(std::move(clipFile)), generation_(std::move(generation)), own_(own) {}

    bool SourceOpen() override { return true; }
    const std::string& CurrentFileName() override { return clipFile_; }
    void SetCurrentFileName(const std::string& name) override { clipFile_ = name; }
    bool StopRequested() override { return generation_->load() != own_; }
    void SetStopRequested(bool) override {}
    void ProcessMessages() override {}
    void BeginRun(TJobKind) override {}
    void EndRun(TJobKind) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPosition(int) override {}
    int ProgressMaximum() override { return 0; }
    void ShowPreviewBitmap(const TBitmap&) override {}
    void ShowPreviewDocument(std::unique_ptr<TGIFDocument>) override {}
    TGraphic* PreviewPicture() override { return nullptr; }
    TGIFDocument* SourceDocument() override { return nullptr; }
    void ShowReport(int, const std::string&) override {}
    void ShowWarning(const std::string&) override {}
    void ShowError(const std::string&) override {}
    void ShowInformation(const std::string&) override {}
    void ShowMessage(const std::string&) override {}
    void ShowApplicationError(const std::string&) override {}
    std::optional<std::string> AskSaveFileName(const std::string&,
                                               const std::vector<TFileFilter>&) override {
        return std::nullopt;
    }

private:
    std::string clipFile_;
    std::shared_ptr<std::atomic<std::uint64_t>> generation_;
    std::uint64_t own_;
};

} // namespace

TBackgroundEstimate::TBackgroundEstimate()
    : generation_(std::make_shared<std::atomic<std::uint64_t>>(0)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kQuietMilliseconds);
    connect(&timer_, &QTimer::timeout, this, [this] { Start(); });
}

TBackgroundEstimate::~TBackgroundEstimate() {
    ++*generation_;
    for (TWorker& worker : workers_)
        worker.Thread.join();
}

void TBackgroundEstimate::Request(const std::string& clipFile, const TFrameParams& params) {
    ++*generation_;
    clipFile_ = clipFile;
    params_ = params;
    timer_.start();
}

void TBackgroundEstimate::Cancel() {
    ++*generation_;
    timer_.stop();
}

void TBackgroundEstimate::Start() {
    Reap();
    const std::uint64_t generation = generation_->load();
    auto done = std::make_shared<std::atomic<bool>>(false);
    ++started_;
    ++running_;
    std::thread thread([this, generation, done, clip = clipFile_, params = params_,
                        shared = generation_] {
        std::int64_t bytes = 0;
        try {
            TWorkerSink sink(clip, shared, generation);
            bytes = TSizeSampler(clip, sink, 1).Estimate(params).Bytes;
        } catch (const std::exception&) {
            bytes = 0;
        }
        // Posted to this object: when it is destroyed first, its destructor
        // has waited for this thread, and Qt drops the posted call with it.
        QMetaObject::invokeMethod(
            this, [this, generation, bytes] { Deliver(generation, bytes); }, Qt::QueuedConnection);
        done->store(true);
    });
    workers_.push_back({std::move(thread), std::move(done)});
}

void TBackgroundEstimate::Deliver(std::uint64_t generation, std::int64_t bytes) {
    --running_;
    Reap();
    if (generation != generation_->load()) {
        ++dropped_;
        return;
    }
    if (OnReady)
        OnReady(bytes);
}

void TBackgroundEstimate::Reap() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->Done->load()) {
            it->Thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace framolo
