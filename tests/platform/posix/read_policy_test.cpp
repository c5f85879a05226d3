#include "platform/posix/read_policy.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/posix/temp_folder.h"

namespace corabind {
namespace {

namespace fs = std::filesystem;

class ReadPolicyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(mail_ / "img");
    testing::WriteBytes(mail_ / "a.gif", "inside");
    testing::WriteBytes(mail_ / "img/deep.gif", "deep");
    testing::WriteBytes(top_ / "secret.gif", "secret");
    fs::create_directory_symlink(top_, mail_ / "up");
    fs::create_symlink(top_ / "secret.gif", mail_ / "out.gif");
    fs::create_symlink(mail_ / "a.gif", mail_ / "link.gif");
    fs::create_hard_link(top_ / "secret.gif", mail_ / "hard.gif");
    ASSERT_EQ(::mkfifo((mail_ / "pipe.gif").c_str(), 0600), 0);
  }
  static std::string Read(const OpenedFile& file) {
    std::string bytes;
    EXPECT_TRUE(ReadWhole(file.fd.get(), 0, bytes));
    return bytes;
  }
  testing::TempFolder temp_;
  const fs::path top_ = fs::canonical(temp_.path());
  const fs::path mail_ = top_ / "mail";
};

// Each case: a path a page names, what opening it by its path (links
// followed, then checked) gives, and what opening it as if it were the
// canonical path gives, which is what a folder or file swapped for a link
// since the check comes to.
TEST_F(ReadPolicyTest, OpensOnlyPlainFilesBelowAnAllowedFolderThroughNoLink) {
  using enum ReadProblem;
  struct Case {
    fs::path path;
    std::optional<ReadProblem> open, open_canonical;
    std::string bytes;  // when it opens
    bool allow_hard_links = false;
  };
  const Case cases[] = {
      {mail_ / "a.gif", std::nullopt, std::nullopt, "inside"},
      {mail_ / "img/deep.gif", std::nullopt, std::nullopt, "deep"},
      {mail_ / "link.gif", std::nullopt, kRefused, "inside"},  // a link leading in
      {mail_ / "out.gif", kRefused, kRefused, ""},             // a link leading out
      {mail_ / "up/secret.gif", kRefused, kRefused, ""},       // a folder on the way
      {mail_ / "../secret.gif", kRefused, kRefused, ""},
      {mail_ / "hard.gif", kHardLink, kHardLink, ""},
      {mail_ / "hard.gif", std::nullopt, std::nullopt, "secret", true},
      {mail_ / "pipe.gif", kNotFound, kNotFound, ""},  // and no wait for a writer
      {mail_ / "img", kNotFound, kNotFound, ""},
      {mail_ / "gone.gif", kNotFound, kNotFound, ""},
      {mail_, kNotFound, kNotFound, ""},  // the allowed folder itself
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path.string() + (c.allow_hard_links ? " (hard links allowed)" : ""));
    const ReadPolicy policy = ReadPolicy::ConfinedTo({mail_, "/nonexistent"}, c.allow_hard_links);
    const OpenedFile opened = policy.Open(c.path);
    EXPECT_EQ(opened.problem, c.open);
    EXPECT_EQ(opened.fd.ok(), !c.open);
    if (opened.fd.ok()) {
      EXPECT_EQ(Read(opened), c.bytes);
    }
    const OpenedFile again = policy.OpenCanonical(c.path);
    EXPECT_EQ(again.problem, c.open_canonical);
    if (again.fd.ok()) {
      EXPECT_EQ(Read(again), c.bytes);
    }
  }
}

// A device is no plain file, even inside a folder that may be read; with
// no confinement, files with several names are nobody's concern.
TEST_F(ReadPolicyTest, RefusesDevicesAndLeavesHardLinksToTheUnconfined) {
  EXPECT_EQ(ReadPolicy::ConfinedTo({"/dev"}).Open("/dev/null").problem, ReadProblem::kNotFound);
  const OpenedFile opened = ReadPolicy::Unconfined().Open(mail_ / "hard.gif");
  EXPECT_EQ(opened.problem, std::nullopt);
  EXPECT_EQ(Read(opened), "secret");
}

// The kernel's way and the walk for kernels without it agree on every path.
TEST_F(ReadPolicyTest, TheWalkKeepsBelowItsFolderAsTheKernelDoes) {
  const UniqueFd dir(::open(mail_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  ASSERT_TRUE(dir.ok());
  struct Case {
    const char* relative;
    int error;  // 0: it opens
  };
  const Case cases[] = {
      {"a.gif", 0},
      {"img/deep.gif", 0},
      {"link.gif", ELOOP},
      {"up/secret.gif", ELOOP},
      {"../secret.gif", EXDEV},
      {"gone.gif", ENOENT},
  };
  for (const Beneath how : {Beneath::kKernel, Beneath::kWalk}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.relative) + (how == Beneath::kWalk ? " (walk)" : ""));
      errno = 0;
      const UniqueFd fd(OpenBeneath(dir.get(), c.relative, O_RDONLY | O_CLOEXEC | O_NOFOLLOW, how));
      EXPECT_EQ(fd.ok(), c.error == 0);
      if (!fd.ok()) {
        EXPECT_EQ(errno, c.error);
      }
    }
  }
}

}  // namespace
}  // namespace corabind
