#include "bxf2-import.summary.h"

#include <gtest/gtest.h>

TEST(summary, counts_follow_the_kinds_of_the_export) {
  const auto project = nlohmann::json::parse(R"({
    "placement_center": [0, 0, 0],
    "objects": [
      {"kind": "group", "name": "K1", "children": [
        {"kind": "box", "name": "side"}, {"kind": "box", "name": "top"},
        {"kind": "group", "name": "drawer", "children": [{"kind": "mesh", "name": "4711_K1"}]}]},
      {"kind": "group", "name": "K2", "children": []},
      {"kind": "group", "name": "articles", "children": [{"kind": "article"}, {"kind": "article"}]},
      {"kind": "box", "name": "loose"},
      {"kind": "light"}, 7
    ]})");
  const TProjectCounts counts = count_objects(project);
  EXPECT_EQ(counts.cabinets, 2);
  EXPECT_EQ(counts.parts, 3);
  EXPECT_EQ(counts.components, 1);
  EXPECT_EQ(counts.articles, 2);
  EXPECT_EQ(summary_text(counts, 0.4251), "2 cabinets, 3 parts, 1 component, 2 articles in 0.43 s");
  EXPECT_EQ(summary_text(count_objects(nlohmann::json::object()), 0), "0 cabinets, 0 parts, 0 components, 0 articles in 0.00 s");
}
