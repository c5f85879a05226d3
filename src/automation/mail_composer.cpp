#include "automation/mail_composer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <unordered_set>
#include <utility>
#include <vector>

#include "automation/compose_report.h"
#include "core/printable.h"
#include "core/text.h"
#include "platform/posix/atomic_output.h"
#include "platform/posix/base64_file_encoder_posix.h"
#include "platform/posix/unique_fd.h"

namespace corabind::automation {

namespace fs = std::filesystem;

namespace {

// The control path of a folder, ending in a backslash.
std::u16string FolderBase(const PathMap& paths, const fs::path& folder) {
  std::u16string base = paths.ToControl(folder);
  if (base.empty() || base.back() != u'\\') base += u'\\';
  return base;
}

// The walk over the parsed page that the plain-text alternative reads:
// `walk` walks the page's body (or its root), and holds what it walks.
mail::ContentWalk ContentOf(std::function<void(const html::HtmlDocument::NodeWalk&)> walk) {
  return [walk = std::move(walk)](mail::ContentVisitor& visitor) {
    walk({[&](const html::HtmlElement& e) { visitor.Open(e.localName(), e); },
          [&](const html::HtmlElement& e) { visitor.Close(e.localName()); },
          [&](std::u16string_view text) { visitor.Text(text); }});
  };
}

// The plain-text alternative given with --text: UTF-8, of at most the size
// a mail may have.
std::string ReadGivenText(const std::string& path) {
  try {
    return ReadMailInput(path, "UTF-8").utf8;
  } catch (const MailInputError& e) {
    throw ComposeError{"--text: " + std::string(e.what())};
  }
}

}  // namespace

Problems::Problems(bool allow_missing, const Telling& tell)
    : allow_missing_(allow_missing), tell_(tell) {}

ReadObserver Problems::Observer() {
  return [this](const std::u16string& path, const std::optional<fs::path>& host,
                ReadProblem problem) {
    if (seen_.insert(path).second) problems_.push_back({path, host, problem});
  };
}

void Problems::Tell(const std::function<std::u16string(const std::u16string&)>& reference_of,
                    const char* left_out) const {
  for (const UnembeddedFile& problem : problems_) {
    if (allow_missing_ && tell_.quiet) break;
    tell_.err << "corabind: " << (allow_missing_ ? "warning" : "error") << ": "
              << DescribeUnembedded(problem, reference_of(problem.control_path)) << '\n';
  }
  if (problems_.empty() || allow_missing_) return;
  throw ComposeError{std::to_string(problems_.size()) +
                         " file(s) could not be embedded; nothing written (--allow-missing "
                         "writes the message " +
                         left_out + ")",
                     err::kFileNotFound};
}

void CheckRequest(const mail::MailRequest& request) {
  try {
    request.Validate();
  } catch (const Failure& failure) {
    throw ComposeError{failure.what()};
  }
}

MailInput PageText(std::string name, std::string utf8, const std::string& folder) {
  MailInput input;
  input.name = std::move(name);
  input.empty = utf8.empty();
  input.utf8 = std::move(utf8);
  std::error_code ec;
  input.folder = fs::canonical(folder, ec);
  if (ec || !fs::is_directory(input.folder)) throw ComposeError{"no such folder: " + Printable(folder)};
  return input;
}

std::unique_ptr<Source> Prepare(MailInput input, const mail::MailRequest& request, PageModel model,
                                const Telling& tell) {
  auto source = std::make_unique<Source>();
  source->input = std::move(input);
  const MailInput& in = source->input;
  if (in.empty && !tell.quiet)
    tell.err << "corabind: warning: " << in.name << " is empty; the HTML part is empty\n";

  source->paths = std::make_shared<PathMap>();
  for (const std::string& drive : request.drives) {
    try {
      source->paths->MapDriveSpec(drive);
    } catch (const Failure& failure) {
      throw ComposeError{"--drive " + Printable(drive) + ": " + Printable(failure.what())};
    }
  }
  std::error_code ec;
  std::vector<fs::path> roots{in.folder};
  for (const std::string& root : request.allow_roots) {
    if (!fs::is_directory(root, ec))
      throw ComposeError{"--allow-root " + Printable(root) + ": no such folder"};
    roots.emplace_back(root);
  }
  source->policy = ReadPolicy::ConfinedTo(roots, request.allow_hard_links);
  mail::Page& page = source->page;
  page.base = FolderBase(*source->paths, in.folder);
  // The page holds its text, which the message then lets go of as soon as
  // it has been rewritten.
  page.text = std::make_shared<const std::string>(std::move(source->input.utf8));
  page.utf8 = *page.text;
  // The parser takes a while over a long page: the files it seems to name
  // are looked at meanwhile (GetImages looks at its files itself).
  std::shared_ptr<html::HtmlDocument> document;
  if (model == PageModel::kForMessage) {
    source->probed_ahead = mail::ProbeLikelyFiles(
        page.utf8, page.base, ResolveThrough(source->paths), source->policy, mail::SpareCores());
    std::shared_ptr<const html::AttributedPage> parsed = html::ParseAttributedHtml(page.utf8);
    document = parsed->document();
    page.content = ContentOf(
        [parsed](const html::HtmlDocument::NodeWalk& walk) { parsed->WalkContent(walk); });
  } else {
    document = html::ParseHtml(page.utf8);
    page.document = document;
    page.content = ContentOf([document](const html::HtmlDocument::NodeWalk& walk) {
      const auto from = document->body() ? document->body() : document->root();
      if (from) document->Walk(*from, walk);
    });
  }
  page.root = document->root();
  page.body = document->body();
  const auto convert = [](std::optional<html::SourceRange> r) -> std::optional<mail::SourceRange> {
    if (!r) return std::nullopt;
    return mail::SourceRange{r->begin, r->end};
  };
  page.locate.attribute = [convert](const Element& e, std::u16string_view name) {
    return convert(html::AttributeSource(e, name));
  };
  page.locate.text = [convert](const Element& e) { return convert(html::TextSource(e)); };
  return source;
}

mail::Mail ComposeMessage(const mail::MailRequest& request, Source& source, const Telling& tell) {
  Problems problems(request.allow_missing, tell);
  mail::MailOptions mail_options;
  mail_options.from = request.from;
  mail_options.to = request.to;
  mail_options.cc = request.cc;
  mail_options.bcc = request.bcc;
  mail_options.reply_to = request.reply_to;
  mail_options.list_unsubscribe = request.list_unsubscribe;
  mail_options.subject = request.subject;
  if (request.no_text) {
    mail_options.text = mail::TextAlternative::kNone;
  } else if (!request.text.empty()) {
    mail_options.text = mail::TextAlternative::kGiven;
    mail_options.given_text = ReadGivenText(request.text);
  }
  for (const std::string& file : request.attach) mail_options.attachments.emplace_back(file);
  mail_options.charset = request.charset;
  mail_options.keep_data_uris = request.keep_data_uris;
  mail_options.resolve = ResolveThrough(source.paths);
  mail_options.policy = source.policy;
  mail_options.observer = problems.Observer();
  mail_options.probed_ahead = std::move(source.probed_ahead);
  mail_options.dkim = LoadDkimKey(request, tell);
  try {
    mail::Mail message = mail::ComposeMail(std::move(source.page), std::move(mail_options));
    problems.Tell([&](const std::u16string& path) { return message.ReferenceOf(path); },
                  "with those references left as written");
    return message;
  } catch (const Failure& failure) {
    if (failure.number() == err::kInvalidCall) throw ComposeError{failure.what()};
    throw;
  }
}

std::shared_ptr<const mail::DkimKey> LoadDkimKey(const mail::MailRequest& request,
                                                 const Telling& tell) {
  if (!request.dkim.on()) return nullptr;
  std::shared_ptr<const mail::DkimKey> key;
  try {
    key = mail::DkimKey::Load(request.dkim, request.from);
  } catch (const Failure& failure) {
    throw ComposeError{Printable(failure.what()), failure.number()};
  }
  if (key->readable_by_others() && !tell.quiet) {
    tell.err << "corabind: warning: " << Printable(request.dkim.key_file)
             << " may be read by other users; a signing key should be private (chmod 600)\n";
  }
  return key;
}

std::uintmax_t WriteMessage(const mail::Mail& message,
                            const std::function<void(std::string_view)>& sink) {
  if (!message.dkim()) {
    std::uintmax_t size = 0;
    message.Write([&](std::string_view bytes) {
      sink(bytes);
      size += bytes.size();
    });
    return size;
  }
  UniqueFd scratch = ScratchFile(fs::temp_directory_path());
  const std::string shown = "a temporary file";
  if (!scratch.ok())
    throw ComposeError{"cannot make " + shown + ": " + std::strerror(errno), err::kDeviceIo};
  mail::DkimSigner signer(*message.dkim());
  std::uint64_t size = 0;
  message.Write([&](std::string_view bytes) {
    signer.Feed(bytes);
    if (!WriteWhole(scratch.get(), bytes))
      throw ComposeError{"cannot write " + shown + ": " + std::strerror(errno), err::kDeviceIo};
    size += bytes.size();
  });
  const std::string signature = signer.Finish();
  sink(signature);
  std::string buffer(std::size_t{1} << 20, '\0');
  for (off_t at = 0; static_cast<std::uint64_t>(at) < size;) {
    const ssize_t n = ::pread(scratch.get(), buffer.data(), buffer.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      throw ComposeError{"cannot read " + shown + ": " + std::strerror(n < 0 ? errno : EIO),
                         err::kDeviceIo};
    }
    sink(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    at += n;
  }
  return signature.size() + size;
}

mail::Mail ComposeJson(const nlohmann::json& request, const std::string& folder,
                       std::initializer_list<std::string_view> others,
                       std::initializer_list<std::string_view> refused, const Telling& tell,
                       const std::vector<std::string>& allow_roots) {
  mail::MailRequest mail_request;
  try {
    mail_request = mail::MailRequestFromJson(request, others, refused);
  } catch (const Failure& failure) {
    throw ComposeError{failure.what()};
  }
  const auto text = [&](const char* key, bool needed) {
    if (!request.contains(key)) {
      if (needed) throw ComposeError{std::string("the request needs \"") + key + "\", the page"};
      return std::string();
    }
    if (!request[key].is_string()) throw ComposeError{std::string("\"") + key + "\" takes a text"};
    return request[key].get<std::string>();
  };
  std::string html = text("html", true);
  std::string given_folder = text("folder", false);
  if (given_folder.find('\0') != std::string::npos)
    throw ComposeError{"\"folder\" " + Printable(given_folder) + ": a folder name holds no NUL character"};
  mail_request.allow_roots.insert(mail_request.allow_roots.end(), allow_roots.begin(),
                                  allow_roots.end());
  CheckRequest(mail_request);
  auto source =
      Prepare(PageText("the mail", std::move(html), given_folder.empty() ? folder : given_folder),
              mail_request, PageModel::kForMessage, tell);
  return ComposeMessage(mail_request, *source, tell);
}

}  // namespace corabind::automation
