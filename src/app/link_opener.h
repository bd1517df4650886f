#pragma once

#include <QUrl>

#include <functional>

namespace framolo {

// The help page, the web site and the mail link open through OpenLink, so a
// test can say whether the desktop found a program for them. The opener
// returns false when nothing could open the address.
using TLinkOpener = std::function<bool(const QUrl& url)>;

// Asks the desktop (QDesktopServices) unless a test installed its own opener.
bool OpenLink(const QUrl& url);

// Replaces the opener; an empty one restores the desktop. Returns the previous one.
TLinkOpener SetLinkOpener(TLinkOpener opener);

// Installs an opener for the lifetime of a scope.
class TScopedLinkOpener {
public:
    explicit TScopedLinkOpener(TLinkOpener opener) : previous_(SetLinkOpener(std::move(opener))) {}
    ~TScopedLinkOpener() { SetLinkOpener(std::move(previous_)); }
    TScopedLinkOpener(const TScopedLinkOpener&) = delete;
    TScopedLinkOpener& operator=(const TScopedLinkOpener&) = delete;

private:
    TLinkOpener previous_;
};

} // namespace framolo
