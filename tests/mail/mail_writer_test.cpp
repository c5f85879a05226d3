#include "mail/mail_writer.h"

#include <fcntl.h>
#include <gmime/gmime.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <regex>
#include <stdexcept>
#include <thread>

#include "core/failure.h"
#include "mail/dkim_signer.h"
#include "mail/file_probe.h"
#include "platform/html/html_document.h"
#include "platform/posix/path_map.h"
#include "platform/posix/temp_folder.h"
#include "support/expect_failure.h"

namespace corabind::mail {
namespace {

namespace fs = std::filesystem;

// A page parsed from `html`, its files in `folder`.
struct ParsedPage {
  ParsedPage(std::string text, const fs::path& folder) : html(std::move(text)) {
    document = html::ParseHtml(html);
    page.utf8 = html;
    page.root = document->root();
    page.body = document->body();
    page.document = document;
    page.base = paths->ToControl(folder) + u"\\";
    page.locate.attribute = [](const Element& e, std::u16string_view name) {
      const auto r = html::AttributeSource(e, name);
      return r ? std::optional<SourceRange>({r->begin, r->end}) : std::nullopt;
    };
    page.locate.text = [](const Element& e) {
      const auto r = html::TextSource(e);
      return r ? std::optional<SourceRange>({r->begin, r->end}) : std::nullopt;
    };
    options.from = "a@example.com";
    options.resolve = ResolveThrough(paths);
    page.content = [doc = document](ContentVisitor& visitor) {
      doc->Walk(*doc->body(), {[&](const html::HtmlElement& e) { visitor.Open(e.localName(), e); },
                               [&](const html::HtmlElement& e) { visitor.Close(e.localName()); },
                               [&](std::u16string_view text) { visitor.Text(text); }});
    };
  }
  std::string html;
  std::shared_ptr<html::HtmlDocument> document;
  std::shared_ptr<PathMap> paths = std::make_shared<PathMap>();
  Page page;
  MailOptions options;
};

std::string Written(const Mail& mail) {
  std::string whole;
  mail.Write([&](std::string_view piece) { whole += piece; });
  return whole;
}

// The message with the HTML's quoted-printable undone as far as these
// tests need: soft line breaks and "=".
std::string Readable(std::string text) {
  for (const auto& [from, to] : {std::pair{"=\r\n", ""}, std::pair{"=3D", "="}}) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
      text.replace(at, std::string_view(from).size(), to);
    }
  }
  return text;
}

// Each case: CSS in a page, and how its reference reads once it points at
// its part ("" when it must be left as written, and the caller told).
TEST(MailWriterTest, PointsCssUrlsAtTheirPartsHoweverTheyAreWritten) {
  testing::TempFolder dir;
  testing::WriteBytes(dir.path() / "a.gif", "GIF89a");
  testing::WriteBytes(dir.path() / "a&b.gif", "GIF89a");
  struct Case {
    std::string html;
    std::string rewritten;
  };
  const Case cases[] = {
      {"<p style=\"background:url(&quot;a.gif&quot;)\">", "url(&quot;cid:part1."},
      {"<p style='background:url(\"a.gif\")'>", "url(\"cid:part1."},
      {"<p style=\"background:url(a.gif)\">", "url(cid:part1."},
      {"<p style=\"content:'a.png'; background:url(&#39;a.gif&#39;)\">",
       "content:'a.png'; background:url(&#39;cid:part1."},
      // Which of the two is the URL is not worth guessing.
      {"<p style=\"content:'a.gif'; background:url(&#39;a.gif&#39;)\">", ""},
      {"<style>p{background:url(\"a.gif\")}</style>", "url(\"cid:part1."},
      {"<p style=\"background:url(a&amp;b.gif)\">", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.html);
    ParsedPage parsed(c.html, dir.path());
    std::vector<ReadProblem> told;
    parsed.options.observer = [&](const std::u16string&, const std::optional<fs::path>&,
                                  ReadProblem problem) { told.push_back(problem); };
    const Mail mail = ComposeMail(parsed.page, parsed.options);
    const std::string message = Readable(Written(mail));
    if (c.rewritten.empty()) {
      EXPECT_EQ(mail.parts(), 0U);
      EXPECT_EQ(message.find("cid:"), std::string::npos);
      EXPECT_EQ(told, std::vector<ReadProblem>{ReadProblem::kUnplaced});
    } else {
      EXPECT_TRUE(told.empty());
      EXPECT_EQ(mail.parts(), 1U);
      EXPECT_NE(message.find(c.rewritten), std::string::npos) << message.substr(0, 2000);
    }
  }
}

// The message as GMime reads it back: each part's content type, nested
// parts indented, an attachment's with its file name.
std::string StructureOf(const std::string& message, std::string& headers) {
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(message.data(), message.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage* parsed = g_mime_parser_construct_message(parser, nullptr);
  g_object_unref(parser);
  g_object_unref(stream);
  if (!parsed) return "unreadable";
  char* all = g_mime_object_get_headers(GMIME_OBJECT(parsed), nullptr);
  headers = all;
  g_free(all);
  std::string out;
  const std::function<void(GMimeObject*, std::string)> walk = [&](GMimeObject* part,
                                                                  std::string indent) {
    char* type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(part));
    out += indent + type;
    g_free(type);
    if (GMIME_IS_PART(part) && g_mime_part_is_attachment(GMIME_PART(part))) {
      out += std::string(" ") + g_mime_part_get_filename(GMIME_PART(part));
    }
    out += "\n";
    if (GMIME_IS_MULTIPART(part)) {
      for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(part)); ++i) {
        walk(g_mime_multipart_get_part(GMIME_MULTIPART(part), i), indent + "  ");
      }
    }
  };
  walk(g_mime_message_get_mime_part(parsed), "");
  g_object_unref(parsed);
  return out;
}

// Each structure the writer makes, read back by GMime; blind copies reach
// the envelope and nothing else.
TEST(MailWriterTest, WritesEachStructureAsReadersExpect) {
  testing::TempFolder dir;
  testing::WriteBytes(dir.path() / "a.gif", "GIF89a");
  testing::WriteBytes(dir.path() / "\xEB\xB3\xB4\xEA\xB3\xA0\xEC\x84\x9C.pdf", "%PDF-1.4\n%%EOF\n");
  testing::WriteBytes(dir.path() / "notes.txt", "plain words\n");
  fs::create_symlink(dir.path() / "notes.txt", dir.path() / "link.txt");
  const std::string html = "<p>Hello <img src=a.gif alt=there></p>";
  const fs::path report = dir.path() / "\xEB\xB3\xB4\xEA\xB3\xA0\xEC\x84\x9C.pdf";
  struct Case {
    const char* what;
    std::function<void(MailOptions&)> set;
    std::string structure;
  };
  const Case cases[] = {
      {"the default", [](MailOptions&) {},
       "multipart/alternative\n  text/plain\n  multipart/related\n    text/html\n    image/gif\n"},
      // A control character of the text must not pass for a file's place.
      {"a given text",
       [](MailOptions& o) {
         o.text = TextAlternative::kGiven;
         o.given_text = "one\x01" "2\x01 two\r\n";
       },
       "multipart/alternative\n  text/plain\n  multipart/related\n    text/html\n    image/gif\n"},
      {"no text", [](MailOptions& o) { o.text = TextAlternative::kNone; },
       "multipart/related\n  text/html\n  image/gif\n"},
      {"attachments",
       [&](MailOptions& o) {
         o.attachments = {report, dir.path() / "link.txt"};
         o.bcc = {"Hidden <hidden@example.net>", "x@example.org, y@example.org"};
         o.to = {"to@example.com"};
       },
       "multipart/mixed\n  multipart/alternative\n    text/plain\n    multipart/related\n"
       "      text/html\n      image/gif\n  application/pdf "
       "\xEB\xB3\xB4\xEA\xB3\xA0\xEC\x84\x9C.pdf\n"
       "  text/plain link.txt\n"},
      {"attachments, no text",
       [&](MailOptions& o) {
         o.attachments = {report};
         o.text = TextAlternative::kNone;
       },
       "multipart/mixed\n  multipart/related\n    text/html\n    image/gif\n"
       "  application/pdf \xEB\xB3\xB4\xEA\xB3\xA0\xEC\x84\x9C.pdf\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ParsedPage parsed(html, dir.path());
    parsed.options.reply_to = {"Desk <desk@example.com>"};
    parsed.options.list_unsubscribe = {"mailto:leave@example.com?subject=leave",
                                       "https://example.com/u?id=1"};
    c.set(parsed.options);
    const Mail mail = ComposeMail(parsed.page, parsed.options);
    const std::string message = Written(mail);
    std::string headers;
    EXPECT_EQ(StructureOf(message, headers), c.structure);
    // Folded between the two, as RFC 2369 allows.
    EXPECT_NE(headers.find("List-Unsubscribe: <mailto:leave@example.com?subject=leave>,\n "
                           "<https://example.com/u?id=1>"),
              std::string::npos)
        << headers;
    EXPECT_NE(headers.find("List-Unsubscribe-Post: List-Unsubscribe=One-Click"), std::string::npos);
    EXPECT_NE(headers.find("Reply-To: Desk <desk@example.com>"), std::string::npos);
    EXPECT_NE(headers.find("@example.com>"), std::string::npos);  // the Message-ID's domain
    EXPECT_EQ(message.find("hidden"), std::string::npos);
    EXPECT_EQ(message.find("Bcc"), std::string::npos);
    if (!parsed.options.bcc.empty()) {
      EXPECT_EQ(mail.recipients(), (std::vector<std::string>{"to@example.com", "hidden@example.net",
                                                             "x@example.org", "y@example.org"}));
    }
  }
}

// Attachments are the user's own choice, read wherever they are, but only
// as regular files; unsubscribe links only as mailto: or https:.
TEST(MailWriterTest, RefusesWhatCannotBeAttachedOrListed) {
  testing::TempFolder dir;
  ASSERT_EQ(::mkfifo((dir.path() / "pipe").c_str(), 0600), 0);
  struct Case {
    std::function<void(MailOptions&)> set;
    std::int32_t failure;
    std::string says;
  };
  const Case cases[] = {
      {[&](MailOptions& o) { o.attachments = {dir.path() / "none.pdf"}; }, err::kFileNotFound,
       "none.pdf: No such file"},
      {[&](MailOptions& o) { o.attachments = {dir.path() / "pipe"}; }, err::kFileNotFound,
       "not a regular file"},
      {[&](MailOptions& o) { o.attachments = {dir.path()}; }, err::kFileNotFound,
       "not a regular file"},
      {[&](MailOptions& o) { o.attachments = {"/dev/null"}; }, err::kFileNotFound,
       "not a regular file"},
      {[](MailOptions& o) { o.list_unsubscribe = {"http://example.com/u"}; }, err::kInvalidCall,
       "not a mailto: or https: URL"},
      {[](MailOptions& o) { o.list_unsubscribe = {"https://example.com/a b"}; }, err::kInvalidCall,
       "https://example.com/a b"},
      {[](MailOptions& o) { o.bcc = {"not an address"}; }, err::kInvalidCall,
       "Bcc \"not an address\": does not read as an address list"},
  };
  for (const Case& c : cases) {
    ParsedPage parsed("<p>x</p>", dir.path());
    c.set(parsed.options);
    try {
      ComposeMail(parsed.page, parsed.options);
      ADD_FAILURE() << c.says;
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), c.failure) << f.what();
      EXPECT_NE(std::string(f.what()).find(c.says), std::string::npos) << f.what();
    }
  }
}

// The message is written on a thread of its own, and hashed on another
// when it is signed: whatever goes wrong on any side must end the write,
// reach the caller, and leave no thread waiting.
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
  ParsedPage parsed(html, dir.path());
  const Page& page = parsed.page;
  const MailOptions& options = parsed.options;

  const std::string whole = Written(ComposeMail(page, options));
  ASSERT_GT(whole.size(), std::size_t{8} << 20);  // six MiB of files in base64

  const fs::path key_file = dir.path() / "dkim.key";
  ASSERT_EQ(
      std::system(("openssl genrsa -out '" + key_file.string() + "' 2048 2>/dev/null").c_str()), 0);
  const auto key = DkimKey::Load({key_file.string(), "s", "example.com"}, "");

  // How the sink treats the pieces besides counting them.
  enum Signing { kNone, kSigned, kRefused /* a signer fed what is no message first */ };
  struct Case {
    const char* what;
    std::size_t sink_fails_after;  // bytes taken before the sink throws
    std::string put_instead;       // what takes a file's place after it was probed
    const char* error;
    Signing signing = kNone;
  };
  const fs::path p3 = dir.path() / "p3.bin", kept = dir.path() / "p3.kept";
  const Case cases[] = {
      {"a full disk at once", 0, "", "disk full"},
      {"a full disk half way", whole.size() / 2, "", "disk full"},
      {"a file gone", whole.size() * 2, "nothing", "cannot read"},
      {"a file swapped for a link", whole.size() * 2, "link", "cannot read"},
      {"a file swapped for a pipe", whole.size() * 2, "pipe", "cannot read"},
      {"signed, a full disk half way", whole.size() / 2, "", "disk full", kSigned},
      {"signed, a file gone", whole.size() * 2, "nothing", "cannot read", kSigned},
      {"signed, the signer refusing the message", whole.size() * 2, "", "could not be signed",
       kRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Mail mail = ComposeMail(page, options);
    if (!c.put_instead.empty()) fs::rename(p3, kept);
    if (c.put_instead == "link") fs::create_symlink(kept, p3);
    if (c.put_instead == "pipe") {
      ASSERT_EQ(::mkfifo(p3.c_str(), 0600), 0);
    }
    std::optional<DkimSigner> signer;
    if (c.signing != kNone) signer.emplace(*key);
    if (c.signing == kRefused) signer->Feed("a line that is no header field\r\n");
    std::size_t taken = 0;
    try {
      mail.Write([&](std::string_view piece) {
        if (taken >= c.sink_fails_after) throw std::runtime_error("disk full");
        taken += piece.size();
        if (signer) signer->Feed(piece);
      });
      if (signer) signer->Finish();
      ADD_FAILURE() << "the write succeeded";
    } catch (const std::exception& e) {
      EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
    }
    if (!c.put_instead.empty()) {
      fs::remove(p3);
      fs::rename(kept, p3);
    }
  }
}

// A folder of the mail swapped back and forth, as fast as the kernel allows,
// for a link to a folder outside while the mail is composed and written
// again and again: the files outside never get into a message, whichever
// moment the swap hits (the look-ahead, the probe, the part's reading).
TEST(MailWriterTest, AFolderSwappedForALinkNeverLetsAFileFromOutsideIn) {
  testing::TempFolder dir;
  const fs::path top = fs::canonical(dir.path());
  const fs::path mail = top / "mail", outside = top / "outside";
  fs::create_directories(mail / "img");
  fs::create_directories(outside);
  testing::WriteBytes(mail / "img/a.gif", "GIF89a inside");
  testing::WriteBytes(mail / "img/s.css", "p{color:blue}");
  // 18 bytes, so their base64 stands whole at the start of the part.
  testing::WriteBytes(outside / "a.gif", "GIF89aSECRETSECRET");
  const std::string secret_image = "R0lGODlhU0VDUkVUU0VDUkVU";
  const std::string secret_sheet = "SECRET-SHEET";
  testing::WriteBytes(outside / "s.css", "p{color:red} /* " + secret_sheet + " */");
  fs::create_directory_symlink(outside, mail / "spare");

  const std::string html =
      "<html><head><link rel=stylesheet href=\"img/s.css\"></head>"
      "<body><img src=\"img/a.gif\"><p style=\"background:url(img/a.gif)\"></body></html>";
  ParsedPage parsed(html, mail);
  parsed.options.policy = ReadPolicy::ConfinedTo({mail});

  std::atomic<bool> stop{false};
  std::jthread swapper([&] {
    while (!stop.load(std::memory_order_relaxed)) {
      ::renameat2(AT_FDCWD, (mail / "img").c_str(), AT_FDCWD, (mail / "spare").c_str(),
                  RENAME_EXCHANGE);
    }
  });
  constexpr int kRuns = 150;
  int leaked = 0, written = 0;
  for (int run = 0; run < kRuns; ++run) {
    parsed.options.probed_ahead =
        ProbeLikelyFiles(html, parsed.page.base, parsed.options.resolve, parsed.options.policy, 2);
    std::string message;
    try {
      message = Written(ComposeMail(parsed.page, parsed.options));
      ++written;
    } catch (const Failure&) {
      continue;  // a file changed after it was checked: refused, which is right
    }
    if (message.find(secret_image) != std::string::npos ||
        message.find(secret_sheet) != std::string::npos) {
      ++leaked;
    }
  }
  stop = true;
  swapper.join();
  EXPECT_EQ(leaked, 0) << "of " << written << " messages written";
}

}  // namespace
}  // namespace corabind::mail

namespace corabind::mail {
namespace {

// Whoever fills the options (serve's page hands them over as JSON, NULs
// and all), the writer refuses what could cut an address short or write a
// header line, naming the header.
TEST(MailWriterTest, RefusesAddressesAndSubjectsWithControlCharacters) {
  testing::TempFolder dir;
  ParsedPage parsed("<p>hello</p>", dir.path());
  const std::pair<std::string, std::function<void(MailOptions&)>> cases[] = {
      {"To \"lee@exam\\x00ple.com\"",
       [](MailOptions& o) { o.to = {std::string("lee@exam\0ple.com", 16)}; }},
      {"Cc \"a@example.com\\r\\nBcc: x@evil.example\"",
       [](MailOptions& o) { o.cc = {"a@example.com\r\nBcc: x@evil.example"}; }},
      {"Subject \"Hi\\nBcc: x@evil.example\"",
       [](MailOptions& o) { o.subject = "Hi\nBcc: x@evil.example"; }},
  };
  for (const auto& [named, make] : cases) {
    MailOptions options = parsed.options;
    make(options);
    const std::u16string why = testing::ExpectFailure(
        err::kInvalidCall, [&] { ComposeMail(parsed.page, options); });
    EXPECT_EQ(ToUtf8(why).rfind(named, 0), 0u) << ToUtf8(why);
  }
}

}  // namespace
}  // namespace corabind::mail

namespace corabind::mail {
namespace {

// Every file and data: part of a message as GMime decodes it, in order:
// "type name:bytes" (no name for a data: part, no bytes for a style sheet);
// the HTML and plain text too when `texts`.
std::vector<std::string> DecodedParts(const std::string& message, bool texts = false) {
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(message.data(), message.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage* parsed = g_mime_parser_construct_message(parser, nullptr);
  g_object_unref(parser);
  g_object_unref(stream);
  std::vector<std::string> parts;
  if (!parsed) return {"unreadable"};
  GMimePartIter* it = g_mime_part_iter_new(GMIME_OBJECT(parsed));
  do {
    GMimeObject* part = g_mime_part_iter_get_current(it);
    if (!part || !GMIME_IS_PART(part)) continue;
    char* type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(part));
    const std::string mime = type;
    g_free(type);
    if (!texts && (mime == "text/html" || mime == "text/plain")) continue;
    GByteArray* bytes = g_byte_array_new();
    GMimeStream* out = g_mime_stream_mem_new_with_byte_array(bytes);
    g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(out), FALSE);
    g_mime_data_wrapper_write_to_stream(g_mime_part_get_content(GMIME_PART(part)), out);
    g_object_unref(out);
    const char* name = g_mime_part_get_filename(GMIME_PART(part));
    // A sheet's own references are Content-IDs, made anew for each message.
    parts.push_back(
        mime + " " + (name ? name : "") +
        (mime == "text/css"
             ? std::string()
             : ":" + std::string(reinterpret_cast<const char*>(bytes->data), bytes->len)));
    g_byte_array_free(bytes, TRUE);
  } while (g_mime_part_iter_next(it));
  g_mime_part_iter_free(it);
  g_object_unref(parsed);
  return parts;
}

// References written as browsers write them, through the real writer: each
// case a page's body, the parts it must make, what must be told, and a
// reference that must be left as written.
TEST(MailWriterTest, ReadsReferencesAsBrowsersWriteThem) {
  testing::TempFolder dir;
  const fs::path top = fs::canonical(dir.path());
  const fs::path mail = top / "mail", outside = top / "outside";
  fs::create_directories(mail / "sub");
  fs::create_directories(outside);
  testing::WriteBytes(mail / "my photo.gif", "GIF89a spaced");
  testing::WriteBytes(mail / "\xEC\x82\xAC\xEC\xA7\x84.gif", "GIF89a korean");
  testing::WriteBytes(mail / "a b.gif", "GIF89a decoded");
  testing::WriteBytes(mail / "a%20b.gif", "GIF89a literal");
  testing::WriteBytes(mail / "sub/x.gif", "GIF89a sub");
  testing::WriteBytes(outside / "secret.gif", "GIF89a secret");
  const std::string gif = "R0lGODlhAQABAAAAACw=";  // "GIF89a" and 8 bytes
  testing::WriteBytes(mail / "s.css", "p{background:url(data:image/gif;base64," + gif + ")}");
  const std::string gif_bytes = std::string("GIF89a\x01\0\x01\0\0\0\0,", 14);
  const std::string url = "file://" + mail.string();
  struct Case {
    std::string body;
    std::vector<std::string> parts;
    std::vector<ReadProblem> told;
    std::string left;  // in the HTML as written
    bool keep_data = false;
  };
  const Case cases[] = {
      {"<img src=\"my%20photo.gif\">", {"image/gif my photo.gif:GIF89a spaced"}, {}, ""},
      {"<img src=\"%EC%82%AC%EC%A7%84.gif\">",
       {"image/gif \xEC\x82\xAC\xEC\xA7\x84.gif:GIF89a korean"},
       {},
       ""},
      // A file of the name as written is taken first, as before.
      {"<img src=\"a%20b.gif\">", {"image/gif a%20b.gif:GIF89a literal"}, {}, ""},
      {"<img src=\"sub%2Fx.gif?v=2#top\">", {"image/gif x.gif:GIF89a sub"}, {}, ""},
      {"<img src=\"%2E%2E%2Foutside%2Fsecret.gif\">", {}, {ReadProblem::kRefused}, "%2E%2E"},
      {"<img src=\"..%2foutside/secret.gif\">", {}, {ReadProblem::kRefused}, "..%2f"},
      {"<img src=\"my%00photo.gif\">", {}, {ReadProblem::kNotFound}, "my%00photo"},
      {"<img src=\"my%0Aphoto.gif\">", {}, {ReadProblem::kNotFound}, "my%0Aphoto"},
      {"<img src=\"%FF.gif\">", {}, {ReadProblem::kNotFound}, "%FF.gif"},
      {"<img src=\"" + url + "/my%20photo.gif\">",
       {"image/gif my photo.gif:GIF89a spaced"},
       {},
       ""},
      {"<p style=\"background:url(file://localhost" + mail.string() + "/sub/x.gif)\">",
       {"image/gif x.gif:GIF89a sub"},
       {},
       ""},
      {"<img src=\"file://" + outside.string() + "/secret.gif\">",
       {},
       {ReadProblem::kRefused},
       "secret.gif"},
      {"<img src=\"file://otherhost" + mail.string() + "/sub/x.gif\">", {}, {}, "file://otherhost"},
      {"<img src=\"data:image/gif;base64," + gif + "\">", {"image/gif :" + gif_bytes}, {}, ""},
      // The same data twice is one part; the bytes tell the type.
      {"<p style=\"background:url(&quot;data:;base64," + gif +
           "&quot;)\"><img src=\"data:;base64," + gif + "\">",
       {"image/gif :" + gif_bytes},
       {},
       ""},
      {"<link rel=stylesheet href=s.css>", {"image/gif :" + gif_bytes, "text/css s.css"}, {}, ""},
      {"<style>p{background:url('data:image/png,GIF89a%01%00')}</style>",
       {"image/gif :" + std::string("GIF89a\x01\0", 8)},
       {},
       ""},
      {"<img src=\"data:image/svg+xml,%3Csvg%20xmlns='http://www.w3.org/2000/svg'/%3E\">",
       {"image/svg+xml :<svg xmlns='http://www.w3.org/2000/svg'/>"},
       {},
       ""},
      {"<img src=\"data:image/gif;base64,R0lGO!!\">", {}, {ReadProblem::kMalformed}, "R0lGO!!"},
      {"<img src=\"data:image/gif;base64,R0lGODlhA\">", {}, {ReadProblem::kMalformed}, "lhA\""},
      {"<img src=\"data:image gif,GIF89a\">", {}, {ReadProblem::kMalformed}, "image gif"},
      {"<img src=\"data:image/gif,GIF%8\">", {}, {ReadProblem::kMalformed}, "GIF%8"},
      {"<img src=\"data:image/gif;base64," + gif + "\">", {}, {}, "data:image/gif", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    ParsedPage parsed("<html><head></head><body>" + c.body + "</body></html>", mail);
    parsed.options.policy = ReadPolicy::ConfinedTo({mail});
    parsed.options.keep_data_uris = c.keep_data;
    std::vector<ReadProblem> told;
    parsed.options.observer = [&](const std::u16string&, const std::optional<fs::path>&,
                                  ReadProblem problem) { told.push_back(problem); };
    const Mail composed = ComposeMail(parsed.page, parsed.options);
    const std::string message = Written(composed);
    EXPECT_EQ(DecodedParts(message), c.parts);
    EXPECT_EQ(told, c.told);
    const std::string html = Readable(message);
    EXPECT_EQ(html.find("cid:") != std::string::npos, !c.parts.empty());
    if (!c.left.empty()) {
      EXPECT_NE(html.find(c.left), std::string::npos) << html;
    }
  }
}

// The HTML part is the page rewritten, its line breaks made one kind,
// whether the page holds its text (the part then reads it through the
// edits) or its caller does, in UTF-8 and in another charset.
TEST(MailWriterTest, TheHtmlPartIsThePageRewrittenWhoeverHoldsItsText) {
  testing::TempFolder dir;
  testing::WriteBytes(dir.path() / "a.gif", "GIF89a");
  const std::string html =
      "<meta charset=latin1><p>one\r\ntwo\rthree <img src=a.gif>\r\n\rf\xC3\xBCr "
      "<img src='a.gif'></p>\r";
  const auto html_part = [](const std::string& message) {
    for (std::string part : DecodedParts(message, true)) {
      if (!part.starts_with("text/html :")) continue;
      std::erase(part, '\r');  // the message's own line ends
      return std::regex_replace(part.substr(11), std::regex("cid:part1\\.[^@]+@"), "cid:P@");
    }
    return std::string("no HTML part");
  };
  for (const char* charset : {"utf-8", "iso-8859-1"}) {
    SCOPED_TRACE(charset);
    const std::string expected = "<meta charset=" + std::string(charset) +
                                 "><p>one\ntwo\nthree <img src=cid:P@example.com>\n\nf" +
                                 (charset[0] == 'u' ? "\xC3\xBC" : "\xFC") +
                                 "r <img src='cid:P@example.com'></p>\n";
    for (const bool page_holds_text : {false, true}) {
      ParsedPage parsed(html, dir.path());
      if (page_holds_text) {
        parsed.page.text = std::make_shared<const std::string>(html);
        parsed.page.utf8 = *parsed.page.text;
      }
      parsed.options.charset = charset;
      EXPECT_EQ(html_part(Written(ComposeMail(parsed.page, parsed.options))), expected)
          << page_holds_text;
    }
  }
}

}  // namespace
}  // namespace corabind::mail
