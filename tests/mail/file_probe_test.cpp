#include "mail/file_probe.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/posix/temp_folder.h"

namespace corabind::mail {
namespace {

namespace fs = std::filesystem;

class FileProbeTest : public ::testing::Test {
 protected:
  static void Write(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    testing::WriteBytes(path, bytes);
  }
  testing::TempFolder temp_;
  const fs::path dir_ = fs::canonical(temp_.path());
};

// Each case: a path as the page resolves it, and what a writer confined to
// the mail folder must learn of it.
TEST_F(FileProbeTest, FindsTheRealFileAndRefusesWhatItMayNotRead) {
  const fs::path mail = dir_ / "mail";
  Write(mail / "img/a.gif", "GIF89a\x01\x00\x01\x00\x80\x00\x00");
  Write(mail / "b.jpg", std::string("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00", 14));
  Write(dir_ / "secret.gif", "GIF89a-secret");
  fs::create_directories(mail / "folder");
  ASSERT_EQ(::mkfifo((mail / "pipe.gif").c_str(), 0600), 0);
  fs::create_symlink(mail / "img/a.gif", mail / "link.gif");
  fs::create_symlink(dir_ / "secret.gif", mail / "out.gif");
  fs::create_directory_symlink(mail / "img", mail / "pictures");
  fs::create_directory_symlink(dir_, mail / "up");
  struct Case {
    fs::path host;
    std::optional<ReadProblem> problem;
    fs::path file;
    std::string type;
  };
  const Case cases[] = {
      {mail / "img/a.gif", std::nullopt, mail / "img/a.gif", "image/gif"},
      {mail / "img/../b.jpg", std::nullopt, mail / "b.jpg", "image/jpeg"},
      {mail / "link.gif", std::nullopt, mail / "img/a.gif", "image/gif"},
      {mail / "pictures/a.gif", std::nullopt, mail / "img/a.gif", "image/gif"},
      {mail / "gone.gif", ReadProblem::kNotFound, {}, ""},
      {mail / "nowhere/a.gif", ReadProblem::kNotFound, {}, ""},
      {mail / "folder", ReadProblem::kNotFound, {}, ""},
      {mail / "pipe.gif", ReadProblem::kNotFound, {}, ""},  // and does not wait for a writer
      {mail / "out.gif", ReadProblem::kRefused, dir_ / "secret.gif", ""},
      {mail / "up/secret.gif", ReadProblem::kRefused, dir_ / "secret.gif", ""},
      {mail / "../secret.gif", ReadProblem::kRefused, dir_ / "secret.gif", ""},
  };
  const ReadPolicy policy = ReadPolicy::ConfinedTo({mail});
  FileProber prober(policy);
  std::vector<ProbeQueue::Request> requests;
  for (const Case& c : cases) requests.push_back({c.host, true});
  // Probed twice over, so that the queue's workers race through the list.
  for (const Case& c : cases) requests.push_back({c.host, true});
  ProbeQueue queue(requests, policy);
  for (std::size_t i = 0; i < queue.size(); ++i) {
    const Case& c = cases[i % std::size(cases)];
    SCOPED_TRACE(c.host.string());
    for (const ProbedFile& probed : {prober.Probe(c.host, true), queue.Take(i)}) {
      EXPECT_EQ(probed.problem, c.problem);
      if (!c.file.empty()) {
        EXPECT_EQ(probed.file, c.file);
      }
      if (!c.type.empty()) {
        EXPECT_EQ(probed.type.type + "/" + probed.type.subtype, c.type);
      }
    }
  }
}

}  // namespace
}  // namespace corabind::mail
