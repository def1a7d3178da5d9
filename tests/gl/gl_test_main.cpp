// Entry of the OpenGL test programs: real back ends (the wrapper provides the display), shell
// "open" off, then the tests.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    setenv("ZAVGOLF_HEADLESS", "0", 1);
    setenv("ZAVGOLF_SHELL", "off", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
