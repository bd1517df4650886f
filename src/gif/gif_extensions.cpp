// The extension blocks and their registries. Reading and writing them is in
// gif_reader.cpp and gif_writer.cpp.
#include "gif/gif_document.h"

#include <algorithm>
#include <cstring>

namespace framolo {

TGIFExtension::TGIFExtension(TGIFSubImage* subImage)
    : TGIFItem(subImage != nullptr ? subImage->Document() : nullptr), subImage_(subImage) {}

void TGIFExtension::WriteIntroducer(TStream& stream) const {
    const std::uint8_t intro[2] = {0x21, ExtensionLabel()};
    stream.WriteBuffer(intro, 2);
}

namespace {
template <class T> std::unique_ptr<TGIFExtension> MakeExtension(TGIFSubImage* subImage) {
    return std::make_unique<T>(subImage);
}
const TGIFExtensionClass* SameClass(TStream&) {
    return nullptr;
}
// The class record of T, an extension whose label stands for it alone.
template <class T> const TGIFExtensionClass& ClassWithLabel(std::uint8_t label) {
    static const TGIFExtensionClass cls{label, &MakeExtension<T>, &SameClass};
    return cls;
}
} // namespace

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* subImage)
    : TGIFExtension(subImage) {
    if (subImage != nullptr && subImage->GraphicControl() == nullptr)
        subImage->SetGraphicControl(this);
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
    if (subImage_ == nullptr)
        return;
    if (Transparent())
        subImage_->SetTransparent(false);
    if (subImage_->GraphicControl() == this)
        subImage_->SetGraphicControl(nullptr);
}

const TGIFExtensionClass& TGIFGraphicControlExtension::ClassInfo() {
    return ClassWithLabel<TGIFGraphicControlExtension>(0xF9);
}

void TGIFGraphicControlExtension::SetDisposal(int value) {
    rec_.PackedFields = static_cast<std::uint8_t>((rec_.PackedFields & ~0x1C) | ((value & 7) << 2));
}

void TGIFGraphicControlExtension::SetTransparent(bool value) {
    rec_.PackedFields =
        static_cast<std::uint8_t>(value ? rec_.PackedFields | 0x01 : rec_.PackedFields & ~0x01);
    if (subImage_ != nullptr)
        subImage_->SetTransparent(value);
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int value) {
    if (subImage_ != nullptr) {
        const int count = subImage_->ActiveColorMap().Count();
        if (count != 0 && (value < 0 || value >= count)) {
            ReportWarning(this, 1, gifmsg::InvalidColorIndex);
            value = 0;
        }
    }
    rec_.TransparentColorIndex = static_cast<std::uint8_t>(value);
}

TColor TGIFGraphicControlExtension::TransparentColor() {
    if (subImage_ == nullptr)
        return clNone;
    return subImage_->ActiveColorMap().Color(rec_.TransparentColorIndex);
}

TGIFTextExtension::TGIFTextExtension(TGIFSubImage* subImage) : TGIFExtension(subImage) {}

const TGIFExtensionClass& TGIFTextExtension::ClassInfo() {
    return ClassWithLabel<TGIFTextExtension>(0x01);
}

TGIFCommentExtension::TGIFCommentExtension(TGIFSubImage* subImage) : TGIFExtension(subImage) {}

const TGIFExtensionClass& TGIFCommentExtension::ClassInfo() {
    return ClassWithLabel<TGIFCommentExtension>(0xFE);
}

TGIFApplicationExtension::TGIFApplicationExtension(TGIFSubImage* subImage)
    : TGIFExtension(subImage) {}

const TGIFExtensionClass& TGIFApplicationExtension::ClassInfo() {
    // The base class is never made itself; SubClassFor picks the concrete one.
    static const TGIFExtensionClass cls{0xFF, &MakeExtension<TGIFUnknownAppExtension>,
                                        &TGIFApplicationExtension::SubClassFor};
    return cls;
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* subImage) : TGIFApplicationExtension(subImage) {
    identifier_ = MakeAppIdentifier("NETSCAPE2.0");
}

const TGIFExtensionClass& TGIFAppExtNSLoop::ClassInfo() {
    return ClassWithLabel<TGIFAppExtNSLoop>(0xFF);
}

TGIFUnknownAppExtension::TGIFUnknownAppExtension(TGIFSubImage* subImage)
    : TGIFApplicationExtension(subImage) {}

const TGIFExtensionClass& TGIFUnknownAppExtension::ClassInfo() {
    return ClassWithLabel<TGIFUnknownAppExtension>(0xFF);
}

// ---- Registries ----

namespace {
struct TExtensionEntry {
    std::uint8_t Label;
    const TGIFExtensionClass* Class;
};
struct TAppExtensionEntry {
    TGIFApplicationRec Identifier;
    const TGIFExtensionClass* Class;
};

// Created on first use, with the built-in classes. The tables have no lock:
// classes are registered at start-up, before any file is read, and reading
// them from several threads at once is safe.
std::vector<TExtensionEntry>& ExtensionList() {
    static std::vector<TExtensionEntry> list{
        {0x01, &TGIFTextExtension::ClassInfo()},
        {0xF9, &TGIFGraphicControlExtension::ClassInfo()},
        {0xFE, &TGIFCommentExtension::ClassInfo()},
        {0xFF, &TGIFApplicationExtension::ClassInfo()},
    };
    return list;
}

std::vector<TAppExtensionEntry>& AppExtensionList() {
    static std::vector<TAppExtensionEntry> list{
        {MakeAppIdentifier("NETSCAPE2.0"), &TGIFAppExtNSLoop::ClassInfo()},
        {MakeAppIdentifier("ANIMEXTS1.0"), &TGIFAppExtNSLoop::ClassInfo()},
    };
    return list;
}
} // namespace

TGIFApplicationRec MakeAppIdentifier(const char* elevenChars) {
    TGIFApplicationRec r{};
    const std::size_t n = std::min<std::size_t>(std::strlen(elevenChars), r.size());
    std::memcpy(r.data(), elevenChars, n);
    return r;
}

void RegisterExtension(std::uint8_t label, const TGIFExtensionClass* cls) {
    ExtensionList().push_back({label, cls});
}

const TGIFExtensionClass* FindExtension(std::uint8_t label) {
    const auto& list = ExtensionList();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (it->Label == label)
            return it->Class;
    return nullptr;
}

void RegisterAppExtension(const TGIFApplicationRec& identifier, const TGIFExtensionClass* cls) {
    AppExtensionList().push_back({identifier, cls});
}

const TGIFExtensionClass* FindAppExtension(const TGIFApplicationRec& identifier) {
    const auto& list = AppExtensionList();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (it->Identifier == identifier)
            return it->Class;
    return nullptr;
}

} // namespace framolo
