#ifdef FRAMOLO_TEST_ANIMATION
#include "gif/animation/painter_registry.h"
#endif

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

// Widget tests run without a display unless the caller chose a platform.
int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
#ifdef FRAMOLO_TEST_ANIMATION
    framolo::InstallGIFAnimation();
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
