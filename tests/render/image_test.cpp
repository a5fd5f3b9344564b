#include <gtest/gtest.h>
#include "render/image/image.h"
TEST(Image, Placeholder) { RasterImage i; EXPECT_TRUE(i.Create(2,2,8)); }
