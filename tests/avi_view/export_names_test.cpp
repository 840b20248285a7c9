// Export names after the frames' sources: one file per frame, never two
// frames under one name.
#include <gtest/gtest.h>

#include "avi_view/frame_export.h"

namespace {

using Names = std::vector<std::string>;

struct NamesCase {
  const char* name;
  Names sources;
  std::int32_t first;
  Names expected;
};

class SourceExportNamesTest : public testing::TestWithParam<NamesCase> {};

TEST_P(SourceExportNamesTest, GivesEachFrameItsOwnName) {
  const NamesCase& c = GetParam();
  EXPECT_EQ(avi_view::SourceExportNames(c.sources, c.first), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceExportNamesTest,
    testing::Values(
        NamesCase{"EachItsOwn", {"/p/a.png", "/p/b.tif"}, 0, {"a.jpg", "b.jpg"}},
        NamesCase{"SharedSourceNumbered", {"a.png", "b.png", "a.png"}, 7, {"a-0007.jpg", "b.jpg", "a-0009.jpg"}},
        NamesCase{"SameNameInTwoFolders", {"x/a.png", "y/a.jpg"}, 0, {"a-0000.jpg", "a-0001.jpg"}},
        NamesCase{"NoSourceKeepsTheIndexName", {"", "a.png"}, 3, {"Save0003.jpg", "a.jpg"}},
        NamesCase{"SourceNamedLikeAnEarlierNumberedOne", {"a.png", "a.png", "a-0001.png"}, 0,
                  {"a-0000.jpg", "a-0001.jpg", "a-0001-0002-2.jpg"}},
        NamesCase{"SourceNamedLikeALaterNumberedOne", {"a-0001.png", "a.png", "a.png"}, 0,
                  {"a-0001.jpg", "a-0001-2.jpg", "a-0002.jpg"}},
        NamesCase{"SourceNamedLikeAnIndexName", {"", "Save0000.png"}, 0, {"Save0000.jpg", "Save0000-0001-2.jpg"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
