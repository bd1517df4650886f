#ifdef FRAMOLO_TEST_ANIMATION
#include "gif/animation/painter_registry.h"
#endif

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>

// Widget tests run without a display unless the caller chose a platform.
int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // What the window remembers between runs goes to a folder of the run's own,
    // never into the settings of the person running the tests.
    const QTemporaryDir settings;
    if (!settings.isValid())
        return 1;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
#ifdef FRAMOLO_TEST_ANIMATION
    framolo::InstallGIFAnimation();
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
