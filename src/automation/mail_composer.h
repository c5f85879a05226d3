// A mail request (mail/mail_request.h) turned into the standard message:
// the page read and parsed, its files found under the request's folders,
// and every problem told once. compose and send read the page from a file;
// serve, automate and the C interface take it as text in a JSON request.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "automation/compose_error.h"
#include "automation/compose_report.h"
#include "automation/mail_input.h"
#include "core/failure.h"
#include "mail/file_probe.h"
#include "mail/mail_request.h"
#include "mail/mail_writer.h"
#include "platform/html/html_document.h"
#include "platform/posix/base64_file_encoder_posix.h"
#include "platform/posix/path_map.h"
#include "platform/posix/read_policy.h"

namespace corabind::automation {

// What a page is parsed into: the whole document model, which the control's
// GetImages reads, or only what the standard message reads of it (its
// elements' attributes and its content in order), a fraction of the memory
// on a long page.
enum class PageModel { kWhole, kForMessage };

// The mail read and parsed once, with everything the writers need to find
// its files. The page holds its parse.
struct Source {
  MailInput input;  // its text moved into the page
  std::shared_ptr<PathMap> paths;
  ReadPolicy policy = ReadPolicy::Unconfined();  // the mail's folder and any --allow-root
  mail::Page page;
  // Its look-ahead reads the page's text: declared after the page, it goes
  // first.
  std::shared_ptr<mail::ProbeQueue> probed_ahead;
};

// Where problems and warnings go; `quiet` keeps the warnings back.
struct Telling {
  std::ostream& err;
  bool quiet = false;
};

// Every file that could not or may not be embedded, told once after the
// run, when the reference the mail made for it is known; the caller refuses
// to go on while any is left, unless told to.
class Problems {
 public:
  Problems(bool allow_missing, const Telling& tell);
  ReadObserver Observer();
  // `reference_of` gives the reference the mail made for a control path;
  // ComposeError (53) when any is left and none may be.
  void Tell(const std::function<std::u16string(const std::u16string&)>& reference_of,
            const char* left_out) const;

 private:
  bool allow_missing_;
  Telling tell_;
  std::vector<UnembeddedFile> problems_;
  std::unordered_set<std::u16string> seen_;
};

// ComposeError for a request the message would refuse (Validate).
void CheckRequest(const mail::MailRequest& request);

// A page held as UTF-8 text, its relative references read from `folder`
// (`name` names it in messages).
MailInput PageText(std::string name, std::string utf8, const std::string& folder);

// Parses the page and sets up what its files are read through (the
// request's drives and folders). For the standard message the files it
// seems to name are looked at while it is parsed.
std::unique_ptr<Source> Prepare(MailInput input, const mail::MailRequest& request, PageModel model,
                                const Telling& tell);

// The standard message; files that could not be embedded are told on
// `tell.err` and, unless the request allows them missing, refused. The
// writer's failures other than the request's pass as they are. The page's
// parse and the files probed ahead are used up: `source` keeps its input,
// paths and policy.
mail::Mail ComposeMessage(const mail::MailRequest& request, Source& source, const Telling& tell);

// The DKIM key the request names, read and tried (null when none is given).
// Warns of a key that other users may read.
std::shared_ptr<const mail::DkimKey> LoadDkimKey(const mail::MailRequest& request,
                                                 const Telling& tell);

// The message's bytes to `sink`, its DKIM signature (when it is signed) in
// front: the message waits in an unnamed temporary file while it is hashed.
// Returns the number of bytes.
std::uintmax_t WriteMessage(const mail::Mail& message,
                            const std::function<void(std::string_view)>& sink);

// A JSON request: the mail request's keys, "html" (the page, UTF-8) and
// "folder" (what its relative references are read against; `folder` when
// absent). Keys in `others` are the caller's; mail keys in `refused` are
// refused. `allow_roots` are folders the caller, not the request, lets the
// mail's files come from. Checked whole before anything is read.
mail::Mail ComposeJson(const nlohmann::json& request, const std::string& folder,
                       std::initializer_list<std::string_view> others,
                       std::initializer_list<std::string_view> refused, const Telling& tell,
                       const std::vector<std::string>& allow_roots = {});

}  // namespace corabind::automation
