#include <gtest/gtest.h>

#include "sim/Desktop.h"

int main(int argc, char** argv) {
    // Tests run outside the bundle: point the session at the one the build made.
    sim::setMainBundlePath(QUENFOLD_BUNDLE_PATH);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
