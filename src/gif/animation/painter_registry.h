#pragma once

// The painters of one document, and the switch that makes documents animate.
// TPainterRegistry keeps every painter started on its document, the one the
// document's Draw started, and the lock that guards both and every painter's
// slot. The GUI thread alone uses it; painter threads never take the lock. The
// lock is re-entrant: Draw holds it across starting a painter and waiting for
// its first frame, and the steps it pumps meanwhile take it again.

#include "gif/gif_document.h"
#include "platform/graphics/canvas.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace framolo {

class TGIFPainter;

// How long the GUI thread pumps painter calls while it waits for painters to
// stop before it cuts them loose (KillPainterThreads).
inline constexpr std::int64_t kPainterStopBoundMs = 2000;

// Runs pending cross-thread calls of painters while the GUI thread waits for
// them to stop. Starts as the main-thread call queue's pump; the preview layer
// may install its own.
extern std::function<void()> PumpPainterCalls;

class TPainterRegistry final : public TGIFPainterRegistry {
public:
    explicit TPainterRegistry(TGIFDocument& document) : document_(document) {}
    ~TPainterRegistry() override;
    TPainterRegistry(const TPainterRegistry&) = delete;
    TPainterRegistry& operator=(const TPainterRegistry&) = delete;

    // Hands the animation to a painter on (canvas, rect) with poOnTarget, else
    // on the document's rendered bitmap, which is shown once it holds the
    // first frame.
    void Draw(TCanvas& canvas, const TRect& rect) override;
    void HaltCurrentPainter() override;
    // The document's StopCurrentPainter and StopAllPainters also drop its
    // rendered bitmap.
    void StopCurrentPainter() override;
    void StopAllPainters() override;
    void KillPainterThreads() override;

    // Creates a painter for the canvas (stored in *slot). A threaded painter is
    // returned suspended; one that is not threaded runs to its end here and
    // null is returned. Null also for an empty document or rectangle.
    TGIFPainter* StartPainter(TGIFPainter** slot, TCanvas& canvas, TGIFDrawOptions options,
                              const TRect& rect);
    // The painter Draw started, or null.
    TGIFPainter* CurrentPainter() const;
    // The painters that still know the document.
    std::vector<TGIFPainter*> PainterList() const;
    // A painter that ends leaves the list, and its slot while the slot still
    // holds it.
    void Forget(TGIFPainter* painter, TGIFPainter** slot);

private:
    TGIFDocument& document_;
    mutable std::recursive_mutex lock_;
    std::vector<TGIFPainter*> painters_;
    TGIFPainter* current_ = nullptr;
    // Where a painter without poOnTarget draws: a canvas over the document's
    // rendered bitmap.
    std::unique_ptr<TCanvas> renderedCanvas_;
};

// Makes every document animate through its own TPainterRegistry. Called once
// where the window starts; calling it again does nothing new.
void InstallGIFAnimation();

// The document's registry, made now when it has none. Needs InstallGIFAnimation.
TPainterRegistry& Painters(TGIFDocument& document);

} // namespace framolo
