#include "mail/mail_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "core/failure.h"
#include "platform/html/html_document.h"
#include "platform/posix/path_map.h"
#include "platform/posix/temp_folder.h"

namespace corabind::mail {
namespace {

namespace fs = std::filesystem;

// The message is written on a thread of its own: whatever goes wrong on
// either side must end the write, reach the caller, and leave no thread
// waiting.
TEST(MailWriterTest, AWriteThatFailsOnEitherSideStopsAndSaysWhy) {
  testing::TempFolder dir;
  std::mt19937 random(7);
  std::string html = "<html><body>";
  for (int i = 0; i < 6; ++i) {
    std::string bytes(1 << 20, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string name = "p" + std::to_string(i) + ".bin";
    testing::WriteBytes(dir.path() / name, bytes);
    html += "<img src=\"" + name + "\">";
  }
  html += "</body></html>";
  const auto document = html::ParseHtml(html);
  const auto paths = std::make_shared<PathMap>();
  Page page;
  page.utf8 = html;
  page.root = document->root();
  page.body = document->body();
  page.document = document;
  page.base = paths->ToControl(dir.path()) + u"\\";
  page.locate.attribute = [](const Element& e, std::u16string_view name) {
    const auto r = html::AttributeSource(e, name);
    return r ? std::optional<SourceRange>({r->begin, r->end}) : std::nullopt;
  };
  MailOptions options;
  options.from = "a@example.com";
  options.resolve = ResolveThrough(paths);

  std::string whole;
  ComposeMail(page, options).Write([&](std::string_view piece) { whole += piece; });
  ASSERT_GT(whole.size(), std::size_t{8} << 20);  // six MiB of files in base64

  struct Case {
    const char* what;
    std::size_t sink_fails_after;  // bytes taken before the sink throws
    bool file_goes;                // a file is gone by the time it is written
    const char* error;
  };
  const Case cases[] = {
      {"a full disk at once", 0, false, "disk full"},
      {"a full disk half way", whole.size() / 2, false, "disk full"},
      {"a file gone", whole.size() * 2, true, "cannot read"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Mail mail = ComposeMail(page, options);
    if (c.file_goes) fs::rename(dir.path() / "p3.bin", dir.path() / "p3.moved");
    std::size_t taken = 0;
    try {
      mail.Write([&](std::string_view piece) {
        if (taken >= c.sink_fails_after) throw std::runtime_error("disk full");
        taken += piece.size();
      });
      ADD_FAILURE() << "the write succeeded";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
    }
    if (c.file_goes) fs::rename(dir.path() / "p3.moved", dir.path() / "p3.bin");
  }
}

}  // namespace
}  // namespace corabind::mail
