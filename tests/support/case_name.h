#pragma once

#include <gtest/gtest.h>

#include <string>

namespace quorvale::testing {

// Names each case of a parameterised test by its `name` field, so that GoogleTest and ctest
// show ".../QuotesOnlyWhenNeeded/PathWithBlank" rather than an index or the case's bytes. The
// case type's PrintTo prints the same name, which ctest's listing shows as the value.
struct CaseName {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return info.param.name;
  }
};

}  // namespace quorvale::testing
