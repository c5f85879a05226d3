#include "core/failure.h"

#include <gtest/gtest.h>

namespace corabind {
namespace {

TEST(FailureTest, FormatsTheMessageThePageHasAlwaysShown) {
  struct Case {
    std::int32_t number;
    std::u16string expected;
  };
  for (const Case& c :
       {Case{13, u"Unexpexted error # 13 occured: Type mismatch"},
        Case{0, u"Unexpexted error # 0 occured: Type mismatch"},
        Case{-2147024894, u"Unexpexted error #-2147024894 occured: Type mismatch"}}) {
    EXPECT_EQ(FormatUnexpectedError(Failure(c.number, u"Type mismatch")), c.expected);
  }
}

}  // namespace
}  // namespace corabind
