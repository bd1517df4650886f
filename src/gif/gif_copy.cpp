// Deep copies of documents, headers and frames.
#include "gif/gif_document.h"

#include "gif/bitmap_import.h"

#include <memory>

namespace framolo {

void TGIFHeader::Assign(const TPersistent* source) {
    if (source == this)
        return;
    if (const auto* header = dynamic_cast<const TGIFHeader*>(source)) {
        descriptor_ = header->descriptor_;
        colorMap_.Assign(&header->colorMap_);
        return;
    }
    TGIFItem::Assign(source);
}

void TGIFSubImage::Assign(const TPersistent* source) {
    if (source == this)
        return;
    if (const auto* frame = dynamic_cast<const TGIFSubImage*>(source)) {
        Clear();
        // A frame without pixel area copies as a cleared frame, extensions
        // and all.
        if (frame->Empty())
            return;
        descriptor_ = frame->descriptor_;
        transparent_ = frame->transparent_;
        pixels_ = frame->pixels_;
        colorMap_.Assign(&frame->colorMap_);
        // The extensions travel through their file form, so every copy is
        // owned by this frame and a graphic control links itself here.
        // Writing does not change the source's extensions.
        TMemoryStream buffer;
        const_cast<TGIFExtensionList&>(frame->extensions_).SaveToStream(buffer);
        buffer.SetPosition(0);
        extensions_.LoadFromStream(buffer, this);
        if (frame->bitmap_) {
            auto bitmap = std::make_unique<TBitmap>();
            bitmap->Assign(frame->bitmap_.get());
            bitmap_ = std::move(bitmap);
        }
        return;
    }
    // Pictures (and null, which clears) become indexes and a colour table.
    if (AssignGraphicToFrame(*this, source))
        return;
    TGIFItem::Assign(source);
}

void TGIFDocument::Assign(const TPersistent* source) {
    if (source == this)
        return;
    if (source == nullptr) {
        Clear();
        return;
    }
    if (const auto* other = dynamic_cast<const TGIFDocument*>(source)) {
        Clear();
        // The source's listeners hear the copy; afterwards this document has
        // none, also when the copy fails.
        OnProgress = other->OnProgress;
        WarningHandler = other->WarningHandler;
        struct TResetHandlers {
            TGIFDocument* self;
            ~TResetHandlers() {
                self->OnProgress = nullptr;
                self->WarningHandler = nullptr;
            }
        } reset{this};

        Progress(this, TProgressStage::psStarting, 0, false, TRect{}, gifmsg::Copying);
        try {
            header_.Assign(&other->header_);
            painterPriority_ = other->painterPriority_;
            paintBackground_ = other->paintBackground_;
            SetPaintOptions(other->paintOptions_);
            colorReduction_ = other->colorReduction_;
            ditherMode_ = other->ditherMode_;
            codesAtGlobalDepth_ = other->codesAtGlobalDepth_;
            const int n = other->frames_.Count();
            for (int i = 0; i < n; ++i) {
                auto frame = std::make_unique<TGIFSubImage>(this);
                frame->Assign(other->frames_[i]);
                Add(std::move(frame));
                Progress(this, TProgressStage::psRunning,
                         static_cast<std::uint8_t>((static_cast<std::int64_t>(i) + 1) * 100 / n),
                         false, TRect{}, gifmsg::Copying);
            }
        } catch (...) {
            Progress(this, TProgressStage::psEnding, 0, true, TRect{}, gifmsg::Copying);
            throw;
        }
        Progress(this, TProgressStage::psEnding, 100, true, TRect{}, gifmsg::Copying);
        return;
    }
    if (dynamic_cast<const TGraphic*>(source) != nullptr) {
        Clear();
        auto frame = std::make_unique<TGIFSubImage>(this);
        try {
            frame->Assign(source);
        } catch (const EConvertError&) {
            // The frame cannot take this graphic: the graphic may still know
            // how to assign itself to a document.
            frame.reset();
            TGraphic::Assign(source);
            return;
        }
        Add(std::move(frame));
        return;
    }
    TGraphic::Assign(source);
}

} // namespace framolo
