// Standard MIME mail from an HTML page and the local files it uses: a
// multipart/related message built and written by GMime, every part's content
// type from how the page uses it or from its bytes (libmagic), every
// reference pointed at its part's Content-ID. Used by `corabind compose` and
// `corabind send`; it knows nothing of the command line.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mail/dkim_signer.h"
#include "mail/page_references.h"
#include "mail/plain_text.h"
#include "platform/posix/base64_file_encoder_posix.h"

namespace corabind {
class Document;
class Element;
}  // namespace corabind

namespace corabind::mail {

class PieceChannel;
class ProbeQueue;
struct ProbedFile;

// A parsed page: the UTF-8 source it was parsed from, its elements, and
// where the parser found things in that source.
struct Page {
  std::string_view utf8;
  // What holds `utf8` when the page holds it itself (null when its caller
  // keeps it): the message keeps it for its HTML part to read (in UTF-8,
  // through the edits that rewrite it), or lets it go once that part is made.
  std::shared_ptr<const std::string> text;
  std::shared_ptr<Element> root;  // the html element
  std::shared_ptr<Element> body;  // may be null (a frameset)
  // The whole document model, for GetImages; ComposeMail does not read it
  // (null when the page was parsed for it alone).
  std::shared_ptr<Document> document;
  SourceLocator locate;
  std::u16string base;  // control path of the page's folder, ending in a backslash
  ContentWalk content;  // its nodes, for the plain-text alternative
};

// The plain-text alternative: made from the page, given, or none at all
// (the message is then the HTML and its files alone).
enum class TextAlternative { kFromPage, kGiven, kNone };

struct MailOptions {
  std::string from;  // RFC 5322 address lists, UTF-8 names allowed
  std::vector<std::string> to, cc;
  // In the envelope only: no header of the message names them.
  std::vector<std::string> bcc;
  std::vector<std::string> reply_to;
  // List-Unsubscribe URLs, mailto: or https: (an https: one also offers
  // one-click unsubscribing, RFC 8058).
  std::vector<std::string> list_unsubscribe;
  std::string subject;  // UTF-8
  TextAlternative text = TextAlternative::kFromPage;
  std::string given_text;  // UTF-8, with TextAlternative::kGiven
  // Files sent as attachments, as the user named them: read as they are,
  // wherever they are (the read policy is for what the page names), but
  // only a regular file.
  std::vector<std::filesystem::path> attachments;
  std::string charset = "utf-8";  // IANA name the HTML part is written in
  // data: URLs stay in the HTML rather than becoming parts.
  bool keep_data_uris = false;
  HostPathResolver resolve;       // control path -> host file
  ReadPolicy policy = ReadPolicy::Unconfined();
  ReadObserver observer;  // told of each file that is left out
  // Files probed while the page was parsed (ProbeLikelyFiles), if any.
  std::shared_ptr<ProbeQueue> probed_ahead;
  std::shared_ptr<const DkimKey> dkim;  // signs the message when set
};

// A composed message; its files are read again only while it is written.
class Mail {
 public:
  ~Mail();
  Mail(Mail&&) noexcept;
  Mail& operator=(Mail&&) noexcept;

  // The whole message, lines ending in CR LF, handed to `sink` in pieces.
  // Peak memory does not grow with the files. Failure when a file cannot be
  // read any more, or whatever `sink` throws.
  void Write(const std::function<void(std::string_view)>& sink) const;

  std::size_t parts() const;  // resource parts (files and data: URLs), the HTML not counted
  std::size_t attachments() const;
  bool has_text() const;  // a plain-text alternative
  // Each file embedded, in the order of the parts: the reference the page
  // (or a style sheet) first made for it and its control path.
  struct Embedded {
    std::u16string reference, path;
  };
  const std::vector<Embedded>& embedded() const;
  // The reference first made for a control path, embedded or not; "" if none.
  std::u16string ReferenceOf(const std::u16string& path) const;
  // Bare addresses for the SMTP envelope.
  const std::string& envelope_from() const;
  const std::vector<std::string>& recipients() const;
  // The key to sign the message with (see dkim_signer.h), or null. Write
  // leaves signing to its caller, which knows where the message can wait
  // while its signature, which goes first, is made.
  const DkimKey* dkim() const;

  struct State;

 private:
  void WriteTo(PieceChannel& channel) const;
  // A file part's file, opened again as it was checked; failure when it
  // cannot be.
  OpenedFile ReadPart(std::size_t index) const;
  friend Mail ComposeMail(Page page, MailOptions options);
  explicit Mail(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// Embeds every local file the page names, and every data: URL unless
// `keep_data_uris` (a file that cannot be read, or a data: URL that cannot
// be decoded, is told to the observer and its references left as written). The message is
// multipart/related (the HTML and its files), inside multipart/alternative
// after the plain text when there is one, inside multipart/mixed before the
// attachments when there are any. Failure 5 for an address or subject that
// mail/address.h refuses, an unsubscribe URL that does not parse or an
// unknown charset; failure 6 for a character of the page or text that the
// charset cannot carry; failure 53 for an attachment that is not a regular
// file that can be read. What the page and options hold is let go as soon
// as it has been used (its content walk, its parse, the files probed ahead),
// unless a caller holds it too.
Mail ComposeMail(Page page, MailOptions options);

// Failure kInvalidCall for a List-Unsubscribe URL that is not mailto: or
// https: as the header may carry it, or a charset the parts cannot be
// written in: what ComposeMail refuses, asked before anything is read.
void CheckUnsubscribeUrls(const std::vector<std::string>& urls);
void CheckCharsetName(const std::string& charset);

}  // namespace corabind::mail
