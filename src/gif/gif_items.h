#pragma once

// The items a GIF file is made of (header, frames, extensions, trailer) and the
// owning lists that hold a document's frames and a frame's extensions.

#include "platform/graphics/graphics.h"
#include "platform/streams/stream.h"

#include <memory>
#include <string>
#include <vector>

namespace framolo {

class TGIFDocument;
class TGIFSubImage;
class TGIFExtension;

class TGIFItem : public TPersistent {
public:
    explicit TGIFItem(TGIFDocument* document) : document_(document) {}

    // GIF version the item needs: 1 = 87a, 2 = 89a.
    virtual int Version() const { return 1; }
    virtual void ReportWarning(TPersistent* sender, int severity, const std::string& message);
    virtual void SaveToStream(TStream& stream) = 0;
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToFile(const std::string& fileName);
    virtual void LoadFromFile(const std::string& fileName);

    TGIFDocument* Document() const { return document_; }

protected:
    TGIFDocument* document_;
};

// An owning list of items. Deleting frees the item; Remove hands it back.
class TGIFList : public TPersistent {
public:
    explicit TGIFList(TGIFDocument* document) : document_(document) {}
    ~TGIFList() override;

    int Add(std::unique_ptr<TGIFItem> item);
    int Count() const { return static_cast<int>(items_.size()); }
    TGIFItem* Item(int index) const;
    void Delete(int index);
    std::unique_ptr<TGIFItem> Remove(TGIFItem* item);
    int IndexOf(const TGIFItem* item) const;
    void Clear();

    virtual void ReportWarning(TPersistent* sender, int severity, const std::string& message);
    virtual void SaveToStream(TStream& stream);
    virtual void LoadFromStream(TStream& stream, TPersistent* parent) = 0;
    TGIFDocument* Document() const { return document_; }

protected:
    TGIFDocument* document_;
    std::vector<std::unique_ptr<TGIFItem>> items_;
};

class TGIFImageList : public TGIFList {
public:
    using TGIFList::TGIFList;
    TGIFSubImage* operator[](int index) const;
    TGIFSubImage* Frame(int index) const { return (*this)[index]; }
    void SaveToStream(TStream& stream) override;
    void LoadFromStream(TStream& stream, TPersistent* parent) override;
};

class TGIFExtensionList : public TGIFList {
public:
    using TGIFList::TGIFList;
    TGIFExtension* operator[](int index) const;
    TGIFExtension* Extension(int index) const { return (*this)[index]; }
    void LoadFromStream(TStream& stream, TPersistent* parent) override;
};

} // namespace framolo
