#include "platform.syscolors.h"

#include <gtest/gtest.h>

TEST(syscolors, table_lookups) {
  struct Case {
    uint8_t index;
    TColor expected;
  } cases[] = {
      {COLOR_WINDOW, 0xFFFFFF},
      {COLOR_WINDOWTEXT, 0x000000},
      {COLOR_BTNFACE, 0xF0F0F0},
      {COLOR_HIGHLIGHT, 0xD77800},
      {COLOR_MENUBAR, 0xF0F0F0},  // last entry
      {25, 0},                    // unused index
      {31, 0},                    // past the table
      {255, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(system_color(c.index), c.expected) << int(c.index);
}

TEST(syscolors, installed_at_load_as_the_colour_resolver) {
  // Loading the module installed the table; the highlight is 0x00BBGGRR = 0xD77800.
  EXPECT_EQ(resolve_color(system_color_ref(COLOR_HIGHLIGHT)), 0xD77800);
  EXPECT_EQ(TRGBA::from_color(system_color_ref(COLOR_HIGHLIGHT)), TRGBA(0x00, 0x78, 0xD7, 255));
  EXPECT_EQ(TBGRA::from_color(system_color_ref(COLOR_HIGHLIGHT)), TBGRA(0xD7, 0x78, 0x00, 255));
  EXPECT_EQ(TBGR::from_color(system_color_ref(COLOR_HIGHLIGHT)), TBGR(0xD7, 0x78, 0x00));
  EXPECT_EQ(TSingleRGB::from_color(system_color_ref(COLOR_WINDOW)), TSingleRGB(TRGBA(255, 255, 255, 255)));
  EXPECT_EQ(TRGBA::from_color(system_color_ref(200)), TRGBA(0, 0, 0, 255));
}

TEST(syscolors, install_restores_the_table) {
  const TSystemColorResolver old = set_system_color_resolver(nullptr);
  EXPECT_EQ(resolve_color(system_color_ref(COLOR_WINDOW)), 0);
  install_system_colors();
  EXPECT_EQ(resolve_color(system_color_ref(COLOR_WINDOW)), 0xFFFFFF);
  set_system_color_resolver(old);
}
