#pragma once

// A conversion host for the job tests: its fields and answers are the test's,
// and it records what the job did.

#include "convert/frame_params.h"
#include "convert/job_host.h"
#include "convert/job_support.h"
#include "gif/gif_document.h"
#include "platform/graphics/bitmap.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace framolo::test {

// A host whose fields and answers the test sets, and which records what the job
// did. Like the window, it keeps its numbers as text and reads them when the
// job asks; the lists are item indexes.
class TScriptedHost : public TFrameParamSource, public TPreviewingJobHost {
public:
    std::array<std::string, 7> Fields{"0", "9", "1", "32", "24", "40", "0"};
    int Reduction = 6;
    int Dither = 1;
    // Choices the window does not offer.
    std::uint8_t DataCoding = 0;
    bool Optimize = false;
    int Tolerance = 0;
    int Quality = 0;
    bool Open = true;
    std::string FileName;
    bool Stop = false;
    std::vector<TFileFilter> Filters; // offered by the last save question
    std::optional<std::string> SaveAnswer;
    // Called in ProcessMessages with the number of calls so far.
    std::function<void(int)> OnPump;

    std::vector<std::string> Warnings, Errors, Informations, Messages, AppErrors, StatusLines;
    std::vector<std::pair<int, int>> Ranges;
    std::vector<int> Positions;
    int Pumps = 0;
    int Begins = 0;
    int Ends = 0;
    int PreviewBitmaps = 0;
    std::unique_ptr<TGraphic> Preview;
    TGIFDocument* Source = nullptr;
    std::vector<std::string> Previewed;
    struct TReport {
        int Frames;
        std::string Width, Height, Size;
    };
    std::vector<TReport> Reports;
    std::vector<std::pair<int, int>> Fits;

    bool HasStep() override { return !Fields[static_cast<std::size_t>(TParamField::Step)].empty(); }
    void Read(TFrameParams& params, std::initializer_list<TParamField> fields) override {
        for (const TParamField f : fields)
            params[f] = StrToInt(Fields[static_cast<std::size_t>(f)]);
    }
    void ReadChoices(TFrameParams& params) override {
        params.Reduction = ListReduction(Reduction);
        params.Dither = ListDither(Dither);
        params.DataCoding = DataCoding;
        params.Optimize = Optimize;
        params.Tolerance = Tolerance;
        params.Quality = Quality;
    }
    bool SourceOpen() override { return Open; }
    const std::string& CurrentFileName() override { return FileName; }
    void SetCurrentFileName(const std::string& n) override { FileName = n; }
    bool StopRequested() override { return Stop; }
    void SetStopRequested(bool v) override { Stop = v; }
    void ProcessMessages() override {
        ++Pumps;
        if (OnPump)
            OnPump(Pumps);
    }
    void BeginRun(TJobKind) override { ++Begins; }
    void EndRun(TJobKind) override { ++Ends; }
    void SetProgressRange(int a, int b) override {
        Ranges.emplace_back(a, b);
        max_ = b;
    }
    void SetProgressPosition(int p) override { Positions.push_back(p); }
    int ProgressMaximum() override { return max_; }
    void FitGifPreview(int w, int h) override { Fits.emplace_back(w, h); }
    void ShowPreviewBitmap(const TBitmap& b) override {
        auto copy = std::make_unique<TBitmap>();
        copy->Assign(&b);
        Preview = std::move(copy);
        ++PreviewBitmaps;
    }
    void ShowPreviewDocument(std::unique_ptr<TGIFDocument> d) override { Preview = std::move(d); }
    TGraphic* PreviewPicture() override { return Preview.get(); }
    TGIFDocument* SourceDocument() override { return Source; }
    bool PreviewAvi(const std::string& f) override {
        Previewed.push_back(f);
        return true;
    }
    // The output size as the fields give it, as the window shows it.
    void ShowReport(int frames, const std::string& size) override {
        Reports.push_back({frames, Fields[static_cast<std::size_t>(TParamField::Width)],
                           Fields[static_cast<std::size_t>(TParamField::Height)], size});
    }
    void ShowWarning(const std::string& m) override { Warnings.push_back(m); }
    void ShowError(const std::string& m) override { Errors.push_back(m); }
    void ShowInformation(const std::string& m) override { Informations.push_back(m); }
    void ShowMessage(const std::string& m) override { Messages.push_back(m); }
    void ShowApplicationError(const std::string& m) override { AppErrors.push_back(m); }
    void SetStatusLine(const std::string& l) override { StatusLines.push_back(l); }
    std::optional<std::string> AskSaveFileName(const std::string&,
                                               const std::vector<TFileFilter>& filters) override {
        Filters = filters;
        return SaveAnswer;
    }

    void Set(TParamField f, const std::string& v) { Fields[static_cast<std::size_t>(f)] = v; }

private:
    int max_ = 0;
};

} // namespace framolo::test
