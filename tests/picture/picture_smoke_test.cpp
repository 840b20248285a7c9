// Placeholder so the folder's test executable exists from the start.
#include <gtest/gtest.h>

TEST(pictureSmoke, Builds) { SUCCEED(); }
