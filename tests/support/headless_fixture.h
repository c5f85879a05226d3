// A library wired to the headless desktop, with drive C: mapped onto a
// fresh temporary folder, for tests that drive dialogs from a script.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "control/library.h"
#include "platform/headless/headless_desktop.h"
#include "platform/posix/path_map.h"

namespace corabind::testing {

class HeadlessTest : public ::testing::Test {
 protected:
  HeadlessTest() {
    std::random_device rd;
    root_ = std::filesystem::temp_directory_path() /
            ("corabind-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(root_);
    paths_.MapDrive(u'C', root_);
    desktop_ = std::make_shared<HeadlessDesktop>(paths_);
  }
  ~HeadlessTest() override {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  // The host path of C:\<relative> (relative written with '/').
  std::string Host(const std::string& relative) const { return (root_ / relative).string(); }

  void UseFiles(std::shared_ptr<FileSystem> files) {
    library_.set_services(Services{desktop_, std::move(files), nullptr});
  }

  std::filesystem::path root_;
  PathMap paths_;
  std::shared_ptr<HeadlessDesktop> desktop_;
  Library library_;
};

}  // namespace corabind::testing
