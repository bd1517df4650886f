#include "app/link_opener.h"

#include <QDesktopServices>

namespace framolo {

namespace {
TLinkOpener& Opener() {
    static TLinkOpener opener;
    return opener;
}
} // namespace

bool OpenLink(const QUrl& url) {
    if (Opener())
        return Opener()(url);
    return QDesktopServices::openUrl(url);
}

TLinkOpener SetLinkOpener(TLinkOpener opener) {
    TLinkOpener previous = std::move(Opener());
    Opener() = std::move(opener);
    return previous;
}

} // namespace framolo
