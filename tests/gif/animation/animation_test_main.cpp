// The painter tests' main: every document animates through its painter
// registry, as in the window.
#include "gif/animation/painter_registry.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    framolo::InstallGIFAnimation();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
