#include "preview/painter_call_pump.h"

#include "gif/animation/painter_support.h"

#include <QCoreApplication>
#include <QObject>
#include <QPointer>

namespace framolo {

namespace {

// Lives on the GUI thread as a child of the application object; queued steps
// are run from events posted to it.
class TPainterCallPump : public QObject {
public:
    explicit TPainterCallPump(QObject* parent) : QObject(parent) {
        TMainThreadCalls::Instance().SetOnPosted([this] {
            QMetaObject::invokeMethod(
                this, [] { TMainThreadCalls::Instance().Pump(); }, Qt::QueuedConnection);
        });
    }
    ~TPainterCallPump() override { TMainThreadCalls::Instance().SetOnPosted(nullptr); }
    TPainterCallPump(const TPainterCallPump&) = delete;
    TPainterCallPump& operator=(const TPainterCallPump&) = delete;
};

} // namespace

void InstallPainterCallPump() {
    static QPointer<QObject> pump;
    if (pump || QCoreApplication::instance() == nullptr)
        return;
    // Owned by the application object, which deletes its children.
    pump = new TPainterCallPump(QCoreApplication::instance());
}

} // namespace framolo
