// The options window's fitting of its controls to the texts of the platform's font.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/form2.h"

namespace quorvale::testing {
namespace {

TEST(Form2DesignTest, ControlsWidenToTheirTextsAndMoveApartOnTheirRow) {
  std::vector<form2_design::TextControl> controls = {
      {{16, 24, 177, 17}, 190},  // wider text than its place
      {{208, 24, 65, 17}, 60},   // moves right of the one before
      {{296, 24, 57, 17}, 70},   // keeps its place, widens, and widens the window
      {{16, 56, 257, 17}, 100},  // another row: untouched
  };
  EXPECT_EQ(form2_design::FitTexts(&controls, 362, 8), 374);
  std::string places;
  for (const auto& control : controls) places += std::to_string(control.place.left) + "+" + std::to_string(control.place.width) + " ";
  EXPECT_EQ(places, "16+190 214+65 296+70 16+257 ");
  EXPECT_EQ(form2_design::FitTexts(&controls, 400, 8), 400);
}

}  // namespace
}  // namespace quorvale::testing
