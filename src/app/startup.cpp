#include "app/startup.h"

#include "app/form_main.h"
#include "app/form_splash.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace framolo {

namespace {

// Hints show the moment the mouse rests on a control.
class THintStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_ToolTip_WakeUpDelay)
            return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

void KeepLargeBuffersApart() {
#if defined(__GLIBC__)
    // A fixed threshold also stops glibc raising it after each large free.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

TStartup StartFramolo(const QString& file) {
    // The name alone, never a display name: on X11 Qt appends a display name to
    // every window title, and a box titled "Error" must not read "Error - Framolo".
    // The display name still reads "Framolo", taken from the name.
    QApplication::setApplicationName(QStringLiteral("Framolo"));
    // One look on every desktop; the artwork is drawn for it.
    if (dynamic_cast<THintStyle*>(QApplication::style()) == nullptr)
        QApplication::setStyle(new THintStyle(QStyleFactory::create(QStringLiteral("Fusion"))));

    TStartup started;
    auto* splash = new TFormSplash([] {});
    started.Splash = splash;
    started.Main = std::make_unique<TFormmain>();
    // The splash lives on its own: a main window gone before the splash's
    // time is up is not shown.
    QPointer<TFormmain> main = started.Main.get();
    splash->SetShowMain([main, file] {
        if (main == nullptr)
            return;
        main->show();
        // Opened as a dropped file is: on the page for its kind.
        if (!file.isEmpty())
            main->OpenDropped(file);
    });
    splash->show();
    return started;
}

} // namespace framolo
