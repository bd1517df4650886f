#pragma once

#include "platform/graphics/graphics.h"

namespace framolo {

// The error of the GIF codec and of colour reduction. Its message is one of the
// codec's fixed English texts.
class GIFException : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

} // namespace framolo
