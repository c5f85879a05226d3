#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "core/failure.h"
#include "core/text.h"

namespace corabind::testing {

// Runs `action`, which must throw a Failure with `number`; returns its
// description ("" when it did not fail as expected).
template <class F>
std::u16string ExpectFailure(std::int32_t number, F&& action) {
  try {
    action();
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.number(), number) << ToUtf8(failure.description());
    return failure.description();
  }
  ADD_FAILURE() << "no failure " << number;
  return u"";
}

}  // namespace corabind::testing
