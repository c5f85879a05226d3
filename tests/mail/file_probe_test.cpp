#include "mail/file_probe.h"

#include <gtest/gtest.h>
#include <magic.h>
#include <sys/stat.h>

#include "core/text.h"
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
  fs::create_hard_link(dir_ / "secret.gif", mail / "hard.gif");
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
      {mail / "hard.gif", ReadProblem::kHardLink, mail / "hard.gif", ""},
  };
  const ReadPolicy policy = ReadPolicy::ConfinedTo({mail});
  FileProber prober(policy), own(policy);
  ProbeQueue queue(
      [&](const std::function<void(ProbeQueue::Request)>& add) {
        for (const Case& c : cases) add({c.host, true});
      },
      policy, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host.string());
    const ProbedFile* queued = queue.Find(c.host, true, own);
    ASSERT_NE(queued, nullptr);
    for (const ProbedFile& probed : {prober.Probe(c.host, true), *queued}) {
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

// The look before the parse finds what the page's markup seems to name, and
// nothing it cannot check.
TEST_F(FileProbeTest, LooksAheadAtWhatTheTextSeemsToName) {
  const fs::path mail = dir_ / "mail";
  const std::string html =
      "<img src=a.gif alt='x'><div style=\"background: URL( 'b c.png' )\">"
      "<embed src=\"m.swf\"><a href=\"https://example.com/r.gif\">r</a>"
      "<p title=\"a &amp; b.gif\">1 = 2</p><link rel=stylesheet href='s.css'>";
  const auto resolve = [&](std::u16string_view path) -> std::optional<fs::path> {
    const std::u16string prefix = u"C:\\mail\\";
    if (path.rfind(prefix, 0) != 0) return std::nullopt;
    return mail / ToUtf8(std::u16string(path.substr(prefix.size())));
  };
  const auto queue = ProbeLikelyFiles(html, u"C:\\mail\\", resolve, ReadPolicy::Unconfined(), 1);
  for (const char* name : {"a.gif", "x", "b c.png", "m.swf", "s.css"}) {
    EXPECT_TRUE(queue->Has(mail / name, true)) << name;
  }
  for (const char* name : {"r.gif", "a & b.gif", "2"}) {
    EXPECT_FALSE(queue->Has(mail / name, false)) << name;
  }
}

// The image types told by their first bytes are those libmagic itself
// gives, animated, truncated and look-alike files included.
TEST(ContentTyperTest, TellsCommonImagesAsLibmagicDoes) {
  using namespace std::string_literals;
  const std::string png = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0"s;
  const std::string heads[] = {
      "GIF89a\x01\0\x01\0\x80\0\0"s,
      "GIF87a"s,
      png + "\0\0\0\x1f\x15\xc4\x89"s,
      png +
          "\0\0\0\x08"
          "acTL\0\0\0\x02\0\0\0\0"s,  // animated
      "\xFF\xD8\xFF\xE0\0\x10JFIF\0\x01\x01\0"s,
      "\xFF\xD8\xFF\xE1\0\x10"
      "Exif\0\0"s,
      "\xFF\xD8\xFF"s,
      "GIF88a"s,
      "\x89PNX\r\n"s,
  };
  magic_t magic = magic_open(MAGIC_MIME_TYPE);
  ASSERT_TRUE(magic && magic_load(magic, nullptr) == 0);
  const ContentTyper typer;
  for (const std::string& head : heads) {
    SCOPED_TRACE(::testing::PrintToString(head));
    const ContentType type = typer.TypeOf(head.data(), head.size());
    EXPECT_EQ(type.type + "/" + type.subtype, magic_buffer(magic, head.data(), head.size()));
  }
  magic_close(magic);
}

}  // namespace
}  // namespace corabind::mail
