// Temporary: reading arrives with the GIF reader.
#include "gif/gif_document.h"

namespace framolo {

namespace {
[[noreturn]] void NotYet() { throw GIFException("GIF reading is not available"); }
} // namespace

void TGIFDocument::LoadFromStream(TStream&) { NotYet(); }
void TGIFDocument::Assign(const TPersistent*) { NotYet(); }
void TGIFHeader::LoadFromStream(TStream&) { NotYet(); }
void TGIFHeader::Assign(const TPersistent*) { NotYet(); }
void TGIFTrailer::LoadFromStream(TStream&) { NotYet(); }
void TGIFSubImage::LoadFromStream(TStream&) { NotYet(); }
void TGIFSubImage::Assign(const TPersistent*) { NotYet(); }
void TGIFImageList::LoadFromStream(TStream&, TPersistent*) { NotYet(); }
void TGIFExtensionList::LoadFromStream(TStream&, TPersistent*) { NotYet(); }
void TGIFColorMap::LoadFromStream(TStream&, int) { NotYet(); }
void TGIFGraphicControlExtension::LoadFromStream(TStream&) { NotYet(); }
void TGIFTextExtension::LoadFromStream(TStream&) { NotYet(); }
void TGIFCommentExtension::LoadFromStream(TStream&) { NotYet(); }
void TGIFApplicationExtension::LoadFromStream(TStream&) { NotYet(); }
void TGIFAppExtNSLoop::ReadSubBlocks(TStream&) { NotYet(); }
void TGIFUnknownAppExtension::ReadSubBlocks(TStream&) { NotYet(); }

} // namespace framolo

namespace framolo {
const TGIFExtensionClass* TGIFApplicationExtension::SubClassFor(TStream&) { NotYet(); }
} // namespace framolo
