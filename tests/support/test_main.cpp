// The main of every GoogleTest program: the layers it links are attached first,
// as the player's main attaches them.
#include <gtest/gtest.h>

#include "tests/support/attach.h"

int main(int argc, char **argv) {
    z6_attach_layers();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
