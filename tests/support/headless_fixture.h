// A library wired to the headless desktop and the real POSIX file layer,
// with drive C: mapped onto a fresh temporary folder, for tests that drive
// dialogs from a script and look at the files they leave.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/library.h"
#include "platform/headless/headless_desktop.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/temp_folder.h"

namespace corabind::testing {

class HeadlessTest : public ::testing::Test {
 protected:
  HeadlessTest() {
    paths_->MapDrive(u'C', folder_.path());
    UseFiles(std::make_shared<PosixFileSystem>(paths_, "UTF-8"));
  }

  // The host path of C:\<relative> (relative written with '/').
  std::string Host(const std::string& relative) const {
    return (folder_.path() / relative).string();
  }

  void UseFiles(std::shared_ptr<FileSystem> files) {
    library_.set_services(Services{desktop_, std::move(files), nullptr});
  }

  TempFolder folder_;
  std::shared_ptr<PathMap> paths_ = std::make_shared<PathMap>();
  std::shared_ptr<HeadlessDesktop> desktop_ = std::make_shared<HeadlessDesktop>(*paths_);
  Library library_;
};

}  // namespace corabind::testing
