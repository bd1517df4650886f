#include "app/startup.h"

#include "app/form_main.h"
#include "app/form_splash.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>

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

TStartup StartFramolo() {
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
    TFormmain* main = started.Main.get();
    splash->SetShowMain([main] { main->show(); });
    splash->show();
    return started;
}

} // namespace framolo
