#include "platform/graphics/graphics.h"

#include "platform/streams/stream.h"

#include <typeinfo>

namespace framolo {

HPALETTE CreatePalette(std::vector<TPaletteEntry> entries) {
    if (entries.size() > 256)
        entries.resize(256);
    return std::make_shared<TPalette>(std::move(entries));
}

void TPersistent::Assign(const TPersistent* source) {
    if (source != nullptr) {
        source->AssignTo(this);
        return;
    }
    throw EConvertError("Cannot assign a nil to a " + std::string(typeid(*this).name()));
}

void TPersistent::AssignTo(TPersistent* dest) const {
    (void)dest;
    throw EConvertError("Cannot assign a " + std::string(typeid(*this).name()) + " to a " +
                        std::string(dest != nullptr ? typeid(*dest).name() : "nil"));
}

void TGraphic::LoadFromFile(const std::string& fileName) {
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName) {
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
    stream.Flush();
}

void TGraphic::SetTransparent(bool value) {
    if (value != transparent_) {
        transparent_ = value;
        Changed(this);
    }
}

void TGraphic::Changed(TPersistent*) {
    modified_ = true;
    if (OnChange)
        OnChange(this);
}

void TGraphic::Progress(TPersistent* sender, TProgressStage stage, std::uint8_t percentDone,
                        bool redrawNow, const TRect& rect, const std::string& msg) {
    if (OnProgress)
        OnProgress(sender, stage, percentDone, redrawNow, rect, msg);
}

} // namespace framolo
