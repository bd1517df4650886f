#pragma once

// The extension blocks a frame carries (graphic control, plain text, comment,
// application) and the registries that map a label or an application
// identifier to the class that reads it.

#include "gif/gif_items.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace framolo {

// What a class of extension is: how to make one for a frame, and how to pick a
// more specific class by peeking at the stream.
struct TGIFExtensionClass {
    std::uint8_t Label;
    std::unique_ptr<TGIFExtension> (*CreateFor)(TGIFSubImage* subImage);
    // Peeks at the stream (positioned after the label) and answers the class to
    // use; the stream position is left unchanged.
    const TGIFExtensionClass* (*SubClassFor)(TStream& stream);
};

class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage* subImage);
    int Version() const override { return 2; }
    virtual std::uint8_t ExtensionLabel() const = 0;
    TGIFSubImage* SubImage() const { return subImage_; }

protected:
    // Writes the introducer 0x21 and the label.
    void WriteIntroducer(TStream& stream) const;
    TGIFSubImage* subImage_;
};

struct TGIFGCERec {
    std::uint8_t BlockSize = 4;
    std::uint8_t PackedFields = 0;
    std::uint16_t Delay = 0;
    std::uint8_t TransparentColorIndex = 0;
    std::uint8_t Terminator = 0;
};

class TGIFGraphicControlExtension : public TGIFExtension {
public:
    explicit TGIFGraphicControlExtension(TGIFSubImage* subImage);
    ~TGIFGraphicControlExtension() override;
    static const TGIFExtensionClass& ClassInfo();

    std::uint8_t ExtensionLabel() const override { return 0xF9; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    int Delay() const { return rec_.Delay; }
    void SetDelay(int value) { rec_.Delay = static_cast<std::uint16_t>(value); }
    int Disposal() const { return (rec_.PackedFields >> 2) & 7; }
    void SetDisposal(int value);
    bool UserInput() const { return (rec_.PackedFields & 0x02) != 0; }
    bool Transparent() const { return (rec_.PackedFields & 0x01) != 0; }
    void SetTransparent(bool value);
    int TransparentColorIndex() const { return rec_.TransparentColorIndex; }
    void SetTransparentColorIndex(int value);
    TColor TransparentColor();
    const TGIFGCERec& Record() const { return rec_; }

private:
    TGIFGCERec rec_;
};

// Disposal methods of a graphic control extension.
enum : int { dmNone = 0, dmNoDisposal = 1, dmBackground = 2, dmPrevious = 3 };

struct TGIFPlainTextRec {
    std::uint8_t BlockSize = 12;
    std::uint16_t Left = 0;
    std::uint16_t Top = 0;
    std::uint16_t Width = 0;
    std::uint16_t Height = 0;
    std::uint8_t CellWidth = 0;
    std::uint8_t CellHeight = 0;
    std::uint8_t TextFGColorIndex = 0;
    std::uint8_t TextBGColorIndex = 0;
};

class TGIFTextExtension : public TGIFExtension {
public:
    explicit TGIFTextExtension(TGIFSubImage* subImage);
    static const TGIFExtensionClass& ClassInfo();
    std::uint8_t ExtensionLabel() const override { return 0x01; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    TGIFPlainTextRec& Record() { return rec_; }
    std::vector<std::string> Lines;

private:
    TGIFPlainTextRec rec_;
};

class TGIFCommentExtension : public TGIFExtension {
public:
    explicit TGIFCommentExtension(TGIFSubImage* subImage);
    static const TGIFExtensionClass& ClassInfo();
    std::uint8_t ExtensionLabel() const override { return 0xFE; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;

    std::vector<std::string> Lines;
};

using TGIFApplicationRec = std::array<std::uint8_t, 11>;

class TGIFApplicationExtension : public TGIFExtension {
public:
    explicit TGIFApplicationExtension(TGIFSubImage* subImage);
    static const TGIFExtensionClass& ClassInfo();
    std::uint8_t ExtensionLabel() const override { return 0xFF; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream) override;
    virtual void WriteSubBlocks(TStream& stream) = 0;
    virtual void ReadSubBlocks(TStream& stream) = 0;
    // Peeks at the application identifier and answers the registered class, or
    // the class that keeps unknown blocks raw.
    static const TGIFExtensionClass* SubClassFor(TStream& stream);

    const TGIFApplicationRec& Identifier() const { return identifier_; }
    void SetIdentifier(const TGIFApplicationRec& value) { identifier_ = value; }
    std::string IdentifierText() const {
        return std::string(identifier_.begin(), identifier_.end());
    }

protected:
    TGIFApplicationRec identifier_{};
};

class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
    explicit TGIFAppExtNSLoop(TGIFSubImage* subImage);
    static const TGIFExtensionClass& ClassInfo();
    void WriteSubBlocks(TStream& stream) override;
    void ReadSubBlocks(TStream& stream) override;

    int LoopCount() const { return loopCount_; }
    void SetLoopCount(int value) { loopCount_ = static_cast<std::uint16_t>(value); }
    std::uint32_t StreamBufferSize() const { return bufferSize_; }
    void SetStreamBufferSize(std::uint32_t value) { bufferSize_ = value; }

private:
    std::uint16_t loopCount_ = 0;
    std::uint32_t bufferSize_ = 0;
};

// One raw data sub-block.
struct TGIFBlock {
    std::vector<std::uint8_t> Data;
    std::uint8_t Size() const { return static_cast<std::uint8_t>(Data.size()); }
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
    explicit TGIFUnknownAppExtension(TGIFSubImage* subImage);
    static const TGIFExtensionClass& ClassInfo();
    void WriteSubBlocks(TStream& stream) override;
    void ReadSubBlocks(TStream& stream) override;

    std::vector<TGIFBlock> Blocks;
};

// Writes the lines as data sub-blocks of at most 255 bytes and a 0 terminator.
void WriteTextBlocks(TStream& stream, const std::vector<std::string>& lines);

// ---- Registries ----

// Classes are registered at start-up, before any file is read: the tables are
// not locked, so registering while another thread reads is a data race.
// Label to class, searched from the last registration backwards.
void RegisterExtension(std::uint8_t label, const TGIFExtensionClass* cls);
const TGIFExtensionClass* FindExtension(std::uint8_t label);
// Application identifier (11 bytes) to class, searched from the last backwards.
void RegisterAppExtension(const TGIFApplicationRec& identifier, const TGIFExtensionClass* cls);
const TGIFExtensionClass* FindAppExtension(const TGIFApplicationRec& identifier);
TGIFApplicationRec MakeAppIdentifier(const char* elevenChars);

} // namespace framolo
