// A library on the headless desktop with one control, and short forms of
// the user's steps.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "control/library.h"
#include "control/orvane_control.h"
#include "control/text.h"
#include "platform/headless/headless_desktop.h"
#include "platform/posix/path_map.h"

namespace corabind::fields_test {

inline UiStep Type(std::u16string control, std::u16string text) {
  return UiStep{UiStep::Kind::kType, std::move(control), std::move(text), 0};
}
inline UiStep Choose(std::u16string control) {
  return UiStep{UiStep::Kind::kChoose, std::move(control), {}, 0};
}
inline UiStep Check(std::u16string control, std::int64_t value) {
  return UiStep{UiStep::Kind::kCheck, std::move(control), {}, value};
}
inline UiStep Select(std::u16string control, std::int64_t position) {
  return UiStep{UiStep::Kind::kSelect, std::move(control), {}, position};
}
inline UiStep Click(std::u16string control) {
  return UiStep{UiStep::Kind::kClick, std::move(control), {}, 0};
}
inline UiStep CloseFrame() {
  return UiStep{UiStep::Kind::kClose, {}, {}, 0};
}

// An expected value of a control right after load.
struct Loaded {
  std::u16string control;
  LoadedValue value;
};

class FieldsTest : public ::testing::Test {
 protected:
  PathMap paths_;
  std::shared_ptr<HeadlessDesktop> desktop_ = std::make_shared<HeadlessDesktop>(paths_);
  Library library_{Services{desktop_, nullptr, nullptr}};
  OrvaneControl control_{library_};

  // Every showing of `form`, in order.
  std::vector<FormEvent> Showings(const std::u16string& form) const {
    std::vector<FormEvent> out;
    for (const auto& e : desktop_->events()) {
      if (const auto* f = std::get_if<FormEvent>(&e); f && f->form == form) out.push_back(*f);
    }
    return out;
  }

  static void ExpectLoadedIn(const FormEvent& shown, const std::vector<Loaded>& expected,
                             const std::string& context) {
    for (const Loaded& e : expected) {
      const LoadedControl* found = nullptr;
      for (const auto& c : shown.loaded) {
        if (c.name == e.control) found = &c;
      }
      ASSERT_NE(found, nullptr) << context;
      EXPECT_EQ(found->value, e.value) << context << ": " << ToUtf8(e.control);
    }
  }
};

}  // namespace corabind::fields_test
