#include "mail/mail_writer.h"

#include <gmime/gmime.h>
#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>

#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"
#include "mail/address.h"
#include "mail/css_urls.h"
#include "mail/file_probe.h"
#include "mail/gmime_stream.h"
#include "mail/piece_channel.h"
#include "mail/plain_text.h"
#include "mail/url_forms.h"
#include "mime/reference_rules.h"
#include "mime/resolve.h"

namespace corabind::mail {

namespace fs = std::filesystem;

namespace {

void InitGMime() {
  static std::once_flag once;  // GMime has one process-wide set-up of its own
  std::call_once(once, [] { g_mime_init(); });
}

[[noreturn]] void Invalid(const std::string& text) {
  throw Failure(err::kInvalidCall, FromUtf8(text));
}

// Parses an address list into `into` (a header's list) and the envelope.
void ParseAddresses(std::string_view field, const std::string& text, InternetAddressList* into,
                    std::vector<std::string>& envelope) {
  for (Mailbox& m : ParseAddressList(field, text, into)) envelope.push_back(std::move(m.address));
}

// A file name fit to stand in a quoted parameter as it is: short printable
// ASCII. Anything else (a line break that would start a header line of its
// own, other characters than ASCII, a long name) is RFC 2231-encoded here
// rather than by GMime, whose continuations may cut a character in two,
// which readers then fail to decode.
constexpr std::size_t kPlainNameLength = 60;
constexpr std::size_t kEncodedSectionLength = 60;

bool IsPlainName(std::string_view name) {
  return name.size() <= kPlainNameLength &&
         std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
}

// `name` as RFC 2231 sections: UTF-8, percent-encoded but for the
// characters a parameter may hold as they are, each section at most
// kEncodedSectionLength long and ending on a character boundary.
std::vector<std::string> EncodedSections(std::string_view name) {
  static constexpr std::string_view kAttributeChars =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!#$&+-.^_`|~";
  std::vector<std::string> sections(1);
  for (std::size_t i = 0; i < name.size();) {
    std::size_t end = i + 1;  // one whole character: a lead byte and its continuations
    while (end < name.size() && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) ++end;
    const std::string encoded = PercentEscaped(name.substr(i, end - i), kAttributeChars);
    i = end;
    if (!sections.back().empty() && sections.back().size() + encoded.size() > kEncodedSectionLength)
      sections.emplace_back();
    sections.back() += encoded;
  }
  sections.front().insert(0, "UTF-8''");
  return sections;
}

// Names the part's file in Content-Type's name and Content-Disposition's
// filename. An encoded name's two headers are written here, whole, since
// GMime would quote the sections; nothing changes either header after.
void SetFileName(GMimeObject* part, const std::string& name) {
  if (name.empty()) return;
  g_mime_part_set_filename(GMIME_PART(part), name.c_str());
  if (IsPlainName(name)) return;
  const std::vector<std::string> sections = EncodedSections(name);
  const auto parameters = [&](const char* parameter) {
    std::string text;
    for (std::size_t i = 0; i < sections.size(); ++i) {
      text += ";\n\t";
      text += parameter;
      text += sections.size() == 1 ? "*" : "*" + std::to_string(i) + "*";
      text += "=" + sections[i];
    }
    return text + "\n";
  };
  char* type = g_mime_content_type_get_mime_type(g_mime_object_get_content_type(part));
  const std::string content_type = " " + std::string(type) + parameters("name");
  g_free(type);
  GMimeHeaderList* headers = g_mime_object_get_header_list(part);
  g_mime_header_set_raw_value(g_mime_header_list_get_header(headers, "Content-Type"),
                              content_type.c_str());
  const std::string disposition =
      " " + std::string(g_mime_object_get_disposition(part)) + parameters("filename");
  g_mime_header_set_raw_value(g_mime_header_list_get_header(headers, "Content-Disposition"),
                              disposition.c_str());
}

std::string FolderOf(const std::u16string& control_path) {
  const auto slash = control_path.rfind(u'\\');
  return ToUtf8(control_path.substr(0, slash == std::u16string::npos ? 0 : slash + 1));
}

struct Edit {
  SourceRange where;
  std::string text;
};

// `text` with each edit's range replaced, as the pieces to read one after
// the other (of `text` and of the edits, put in order); an edit overlapping
// an earlier one is dropped (one value is only ever rewritten once).
std::vector<std::string_view> EditedPieces(std::string_view text, std::vector<Edit>& edits) {
  std::stable_sort(edits.begin(), edits.end(),
                   [](const Edit& a, const Edit& b) { return a.where.begin < b.where.begin; });
  std::vector<std::string_view> pieces;
  pieces.reserve(2 * edits.size() + 1);
  std::size_t at = 0;
  for (const Edit& e : edits) {
    if (e.where.begin < at || e.where.end > text.size()) continue;
    pieces.push_back(text.substr(at, e.where.begin - at));
    pieces.push_back(e.text);
    at = e.where.end;
  }
  pieces.push_back(text.substr(at));
  return pieces;
}

std::string ApplyEdits(std::string_view text, std::vector<Edit> edits) {
  const std::vector<std::string_view> pieces = EditedPieces(text, edits);
  std::size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  std::string out;
  out.reserve(size);
  for (std::string_view piece : pieces) out.append(piece);
  return out;
}

// Mail text lines end in one kind of break; GMime writes it as CR LF. Made
// in place: the text only ever gets shorter.
std::string WithLf(std::string text) {
  if (text.find('\r') == std::string::npos) return text;
  std::size_t out = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      text[out++] = '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      text[out++] = text[i];
    }
  }
  text.resize(out);
  return text;
}

// `utf8` in `charset`; failure 6 naming the first character it cannot carry
// and where (`what` names the text when it is not the page).
std::string Encode(std::string utf8, const std::string& charset, const std::string& what = {}) {
  // The name goes into a header and the page as it is: only the characters
  // a MIME charset name is made of (RFC 2978), no iconv "//" suffixes.
  static constexpr std::string_view kNameCharacters =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789!#$%&'+^_`{}~-.:";
  if (charset.empty() || charset.find_first_not_of(kNameCharacters) != std::string::npos)
    Invalid("not a charset name: " + Printable(charset));
  if (NamesUtf8(charset)) return utf8;
  const GIConv known = g_iconv_open(charset.c_str(), "UTF-8");
  if (known == reinterpret_cast<GIConv>(-1)) Invalid("unknown charset " + Printable(charset));
  g_iconv_close(known);
  gsize read = 0, written = 0;
  GError* error = nullptr;
  gchar* out = g_convert(utf8.data(), static_cast<gssize>(utf8.size()), charset.c_str(), "UTF-8",
                         &read, &written, &error);
  if (out == nullptr) {
    g_clear_error(&error);
    const std::u16string before = FromUtf8(utf8.substr(0, read));
    const std::u16string rest = FromUtf8(utf8.substr(read, 4));
    char32_t code = rest.empty() ? 0 : rest[0];
    if (rest.size() > 1 && code >= 0xD800 && code < 0xDC00) {
      code = 0x10000 + ((code - 0xD800) << 10) + (rest[1] - 0xDC00);
    }
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
    const auto line = 1 + std::count(before.begin(), before.end(), u'\n');
    throw Failure(err::kOverflow, FromUtf8(std::string(name) + " on line " + std::to_string(line) +
                                           what + " cannot be written in " + Printable(charset) +
                                           "; nothing written (utf-8 keeps every character)"));
  }
  utf8 = std::string();  // gone before its copy in the charset is made
  std::string bytes(out, written);
  g_free(out);
  return bytes;
}

// "<url>, <url>" for List-Unsubscribe; failure 5 for a URL that is not
// mailto: or https:, or that a header cannot carry as it is.
std::string UnsubscribeHeader(const std::vector<std::string>& urls, bool& https) {
  std::string header;
  https = false;
  for (const std::string& url : urls) {
    const std::u16string wide = AsciiLower(FromUtf8(url.substr(0, 8)));
    const bool web = wide.starts_with(u"https://");
    const bool mail = wide.starts_with(u"mailto:");
    const bool plain = std::all_of(
        url.begin(), url.end(), [](char c) { return c > ' ' && c < 0x7F && c != '<' && c != '>'; });
    if (!(web || mail) || !plain || url.size() <= (web ? 8u : 7u)) {
      Invalid("not a mailto: or https: URL (spaces and other characters percent-encoded): " + url);
    }
    https = https || web;
    if (!header.empty()) header += ", ";
    header += "<" + url + ">";
  }
  return header;
}

// How a text part travels: as it is when that is printable short-lined
// ASCII, quoted-printable otherwise (which also keeps every control
// character out of the written message, as the file placeholders need).
GMimeContentEncoding TextEncoding(std::string_view text) {
  constexpr std::size_t kLongestLine = 78;
  std::size_t line = 0;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x7F || (byte < ' ' && c != '\n' && c != '\t')) {
      return GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
    }
    line = c == '\n' ? 0 : line + 1;
    if (line > kLongestLine) return GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
  }
  return GMIME_CONTENT_ENCODING_7BIT;
}

}  // namespace

void CheckUnsubscribeUrls(const std::vector<std::string>& urls) {
  bool https = false;
  UnsubscribeHeader(urls, https);
}

void CheckCharsetName(const std::string& charset) {
  InitGMime();
  Encode({}, charset);
}

struct Mail::State {
  ~State() {
    if (message) g_object_unref(message);
  }
  GMimeMessage* message = nullptr;
  std::size_t parts = 0, attachments = 0;
  bool text = false;
  std::string from;
  std::vector<std::string> recipients;
  ReadPolicy policy = ReadPolicy::Unconfined();  // what the page's files were checked by
  // Attachments are files the sender named, not ones the page reaches for:
  // the allowed folders do not bound them.
  ReadPolicy attachments_policy = ReadPolicy::Unconfined();
  struct File {
    ProbedFile checked;
    bool attachment = false;
  };
  std::vector<File> files;  // by placeholder index
  std::vector<Mail::Embedded> embedded;
  std::map<std::u16string, std::u16string> references;  // control path -> first reference
  // The data: URLs made parts, as written, which their parts read from
  // while the message is written (a deque, so each stays where it is).
  std::deque<std::string> inline_data;
  // The HTML and the plain text in their charset, which their parts read
  // while the message is written: GMime's memory streams would copy them.
  std::string html, plain;
  // In UTF-8 the HTML part reads the page's text through the edits that
  // rewrite it instead, as pieces of both: it is never held whole twice.
  std::shared_ptr<const std::string> page_text;
  std::vector<Edit> html_edits;
  std::vector<std::string_view> html_pieces;
  std::shared_ptr<const DkimKey> dkim;
};

namespace {

// A reference to a local file that the page or a style sheet makes, or a
// data: URL to make a part of.
struct Wanted {
  std::u16string path;  // control path, as the control reads the reference
  std::optional<fs::path> host;
  bool style_sheet;
  std::u16string reference;  // as written
  SourceRange where;         // in the text that makes it
  // The file as a browser reads the reference (percent-escapes undone),
  // taken when no file of the literal name exists.
  struct Decoded {
    std::u16string path;
    std::optional<fs::path> host;
  };
  std::optional<Decoded> decoded;
  std::optional<std::string> data;  // a data: URL, UTF-8
};

class Builder {
 public:
  Builder(Page page, MailOptions options, Mail::State& state)
      : page_(std::move(page)),
        options_(std::move(options)),
        state_(state),
        prober_(options_.policy) {
    state_.policy = options_.policy;
  }
  ~Builder() {
    for (GMimeObject* part : parts_) g_object_unref(part);
  }
  Builder(const Builder&) = delete;
  Builder& operator=(const Builder&) = delete;

  void Run() {
    GMimeMessage* message = g_mime_message_new(TRUE);
    state_.message = message;
    std::vector<std::string> from;
    if (!options_.from.empty()) {
      ParseAddresses("From", options_.from, g_mime_message_get_from(message), from);
      state_.from = from.front();
    }
    for (const std::string& to : options_.to) {
      ParseAddresses("To", to, g_mime_message_get_to(message), state_.recipients);
    }
    for (const std::string& cc : options_.cc) {
      ParseAddresses("Cc", cc, g_mime_message_get_cc(message), state_.recipients);
    }
    // Parsed as the others, into the envelope alone: no header shows them.
    for (const std::string& bcc : options_.bcc) {
      ParseAddresses("Bcc", bcc, nullptr, state_.recipients);
    }
    std::vector<std::string> replies;
    for (const std::string& reply : options_.reply_to) {
      ParseAddresses("Reply-To", reply, g_mime_message_get_reply_to(message), replies);
    }
    if (!options_.list_unsubscribe.empty()) {
      bool https = false;
      const std::string header = UnsubscribeHeader(options_.list_unsubscribe, https);
      g_mime_object_set_header(GMIME_OBJECT(message), "List-Unsubscribe", header.c_str(), nullptr);
      if (https) {
        g_mime_object_set_header(GMIME_OBJECT(message), "List-Unsubscribe-Post",
                                 "List-Unsubscribe=One-Click", nullptr);
      }
    }
    const auto at = state_.from.rfind('@');
    domain_ = at == std::string::npos ? "localhost" : state_.from.substr(at + 1);
    char* id = g_mime_utils_generate_message_id(domain_.c_str());
    g_mime_message_set_message_id(message, id);
    token_ = std::string(id).substr(0, std::string(id).find('@'));
    g_free(id);
    if (!options_.subject.empty()) {
      CheckHeaderText("Subject", options_.subject);
      g_mime_message_set_subject(message, options_.subject.c_str(), "utf-8");
    }
    GDateTime* now = g_date_time_new_now_local();
    g_mime_message_set_date(message, now);
    g_date_time_unref(now);

    // The attachments come first among the parts, before the page's files.
    for (const fs::path& file : options_.attachments) parts_.push_back(Attach(file));
    const std::size_t attached = parts_.size();
    state_.attachments = attached;
    state_.text = options_.text != TextAlternative::kNone;

    // The page's text is taken first: what its walk reads can then go
    // before the parts are made.
    std::optional<FlowedText> text;
    if (options_.text != TextAlternative::kNone) text = PlainText();
    page_.content = nullptr;
    GMimeStream* html = HtmlContent(PageEdits());
    // Made before the multiparts, which nothing would release should its
    // text not fit the charset.
    GMimeObject* plain = text ? PlainPart(std::move(*text)) : nullptr;
    GMimeTextPart* root = g_mime_text_part_new_with_subtype("html");
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(root), "charset",
                                             options_.charset.c_str());
    SetContent(GMIME_PART(root), html, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);

    GMimeMultipart* related = g_mime_multipart_new_with_subtype("related");
    g_mime_object_set_content_type_parameter(GMIME_OBJECT(related), "type", "text/html");
    g_mime_multipart_add(related, GMIME_OBJECT(root));
    g_object_unref(root);
    for (std::size_t i = attached; i < parts_.size(); ++i) g_mime_multipart_add(related, parts_[i]);
    state_.parts = parts_.size() - attached;
    GMimeObject* body = GMIME_OBJECT(related);
    if (plain) {
      GMimeMultipart* alternative = g_mime_multipart_new_with_subtype("alternative");
      g_mime_multipart_add(alternative, plain);
      g_object_unref(plain);
      g_mime_multipart_add(alternative, body);
      g_object_unref(body);
      body = GMIME_OBJECT(alternative);
    }
    if (attached != 0) {
      GMimeMultipart* mixed = g_mime_multipart_new_with_subtype("mixed");
      g_mime_multipart_add(mixed, body);
      g_object_unref(body);
      for (std::size_t i = 0; i < attached; ++i) g_mime_multipart_add(mixed, parts_[i]);
      body = GMIME_OBJECT(mixed);
    }
    g_mime_message_set_mime_part(message, body);
    g_object_unref(body);
  }

 private:
  // The plain text: the page as text, or the text given, flowed.
  FlowedText PlainText() {
    return Flowed(options_.text == TextAlternative::kGiven ? WithLf(std::move(options_.given_text))
                                                           : mail::PageText(page_.content));
  }

  // The text/plain part.
  GMimeObject* PlainPart(FlowedText text) {
    state_.plain = Encode(std::move(text.text), options_.charset, " of the plain text");
    const std::string& bytes = state_.plain;
    GMimeTextPart* plain = g_mime_text_part_new_with_subtype("plain");
    GMimeObject* object = GMIME_OBJECT(plain);
    g_mime_object_set_content_type_parameter(object, "charset", options_.charset.c_str());
    g_mime_object_set_content_type_parameter(object, "format", "flowed");
    if (text.delsp) g_mime_object_set_content_type_parameter(object, "delsp", "yes");
    SetContent(GMIME_PART(plain), NewViewStream(bytes), TextEncoding(bytes));
    return object;
  }

  // An attachment's part; its bytes are read, as an embedded file's, only
  // while the message is written. A file named on purpose is read wherever
  // it is, but only when it is a regular file: it is looked at once, and
  // what is read later is that file, never a link or pipe put in its place.
  GMimeObject* Attach(const fs::path& given) {
    const auto refuse = [&](const std::string& why) {
      throw Failure(err::kFileNotFound,
                    FromUtf8("cannot attach " + given.string() + ": " + why + "; nothing written"));
    };
    struct stat st {};
    if (::stat(given.c_str(), &st) != 0) refuse(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) refuse("not a regular file (a folder, device, pipe or socket)");
    const ProbedFile probed = attach_prober_.Probe(given, true);
    if (probed.problem) refuse("it cannot be read");
    const std::string name = ToUtf8(FromUtf8(given.filename().string()));
    if (std::any_of(name.begin(), name.end(),
                    [](char c) { return (c >= 0 && c < ' ') || c == 0x7F; })) {
      refuse("its name holds a control character");
    }
    GMimePart* part =
        g_mime_part_new_with_type(probed.type.type.c_str(), probed.type.subtype.c_str());
    g_mime_object_set_disposition(GMIME_OBJECT(part), "attachment");
    if (!name.empty()) g_mime_part_set_filename(part, name.c_str());
    SetContent(part, NewFilePlaceholder(state_.files.size()), GMIME_CONTENT_ENCODING_BASE64,
               GMIME_CONTENT_ENCODING_BASE64);
    state_.files.push_back({probed, true});
    return GMIME_OBJECT(part);
  }

  // The HTML part's content: the page's source through `edits`, in the
  // charset. The page's text is let go of here unless the part reads it.
  GMimeStream* HtmlContent(std::vector<Edit> edits) {
    GMimeStream* content = nullptr;
    if (page_.text && NamesUtf8(options_.charset)) {
      state_.page_text = std::move(page_.text);
      state_.html_edits = std::move(edits);
      state_.html_pieces = EditedPieces(*state_.page_text, state_.html_edits);
      content = NewPiecesStream(state_.html_pieces);
    } else {
      state_.html = Encode(WithLf(ApplyEdits(page_.utf8, std::move(edits))), options_.charset);
      content = NewViewStream(state_.html);
    }
    page_.utf8 = {};
    page_.text = nullptr;
    return content;
  }

  // The edits that point every embedded reference of the page's source at
  // its part and make every charset declaration agree with the part's
  // label.
  std::vector<Edit> PageEdits() {
    PageScan scan = ScanPage(page_.root, page_.body.get(), page_.locate);
    // The parse is of no more use (unless a caller holds it).
    page_.root = page_.body = nullptr;
    page_.document = nullptr;
    std::vector<Wanted> wanted;
    wanted.reserve(scan.references.size());
    for (const PageReference& r : scan.references) {
      const std::string_view written = Slice(r.where);
      if (written != ToUtf8(r.key)) continue;  // the parser's offsets disagree: leave it
      if (auto w = WantedOf(r.src, page_.base, r.style_sheet, r.key, r.where)) {
        wanted.push_back(std::move(*w));
      }
    }
    for (const InlineCss& css : scan.css) {
      std::vector<Wanted> placed = InlineCssReferences(css);
      wanted.insert(wanted.end(), std::make_move_iterator(placed.begin()),
                    std::make_move_iterator(placed.end()));
    }
    scan.references = {};
    scan.css = {};
    ProbeAhead(wanted);
    std::vector<Edit> edits = EmbedAll(std::move(wanted));
    // Every file is probed: the lists and their paths go, and the memory
    // the threads that made them held goes back to the system (it would
    // not be used again).
    options_.probed_ahead = nullptr;
    ahead_ = nullptr;
    malloc_trim(0);
    for (const SourceRange& label : scan.charset_labels) edits.push_back({label, options_.charset});
    for (const SourceRange& type : scan.content_types) {
      edits.push_back({type, "text/html; charset=" + options_.charset});
    }
    return edits;
  }

  // The local files a style element or attribute names, each placed in the
  // page's source.
  std::vector<Wanted> InlineCssReferences(const InlineCss& css) {
    const std::string_view written = Slice(css.where);
    const std::string_view value = css.value ? std::string_view(*css.value) : written;
    std::vector<Wanted> placed;
    for (Wanted& w : CssReferences(value, ToUtf8(page_.base))) {
      if (value != written) {
        // Browsers write url(&quot;a.png&quot;) in a style attribute: the
        // URLs are read from the value with its character references
        // undone, then found again where they are written. One that is not
        // written exactly once, as it reads, is left as it is rather than
        // risk changing the wrong text, and told.
        const std::string_view url = value.substr(w.where.begin, w.where.end - w.where.begin);
        const std::size_t at = written.find(url);
        if (at == std::string_view::npos || written.find(url, at + 1) != std::string_view::npos) {
          state_.references.emplace(w.path, w.reference);
          Tell(w.path, w.host, ReadProblem::kUnplaced);
          continue;
        }
        w.where = {at, at + url.size()};
      }
      w.where.begin += css.where.begin;
      w.where.end += css.where.begin;
      placed.push_back(std::move(w));
    }
    return placed;
  }

  std::string_view Slice(const SourceRange& r) const {
    if (r.begin > r.end || r.end > page_.utf8.size()) return {};
    return page_.utf8.substr(r.begin, r.end - r.begin);
  }

  std::optional<fs::path> Resolve(const std::u16string& path) const {
    return options_.resolve ? options_.resolve(path) : std::nullopt;
  }

  // What `src`, written as `reference`, asks to embed, relative to the
  // folder `base`: a local file, or a data: URL (not a style sheet's:
  // only images and movies are made parts, and only unless asked not to).
  std::optional<Wanted> WantedOf(const std::u16string& src, std::u16string_view base,
                                 bool style_sheet, const std::u16string& reference,
                                 SourceRange where) const {
    if (StartsWithIgnoringAsciiCase(src, u"data:")) {
      // Its reference is its text, kept once (as UTF-8): a data: URL may
      // be megabytes long.
      if (style_sheet || options_.keep_data_uris) return std::nullopt;
      return Wanted{{}, {}, false, {}, where, {}, ToUtf8(src)};
    }
    auto named = NamedFileOf(src, base);
    if (!named) return std::nullopt;
    Wanted w{named->literal, Resolve(named->literal), style_sheet, reference, where, {}, {}};
    if (named->decoded) w.decoded = {{*named->decoded, Resolve(*named->decoded)}};
    return w;
  }

  // The local files a style sheet names; relative URLs are against `folder`,
  // the sheet's own location.
  std::vector<Wanted> CssReferences(std::string_view css, const std::string& folder) const {
    std::vector<Wanted> wanted;
    for (const CssUrl& url : FindCssUrls(css)) {
      // "font.eot?#iefix" names font.eot; "#filter" names nothing to embed.
      const std::string file = url.value.substr(0, url.value.find_first_of("?#"));
      if (file.empty()) continue;
      // A data: URL is taken whole: its text may hold '#' or '?'.
      const std::string& src = IsDataUrl(url.value) ? url.value : file;
      if (auto w = WantedOf(FromUtf8(src), FromUtf8(folder), url.import, FromUtf8(url.value),
                            {url.begin, url.end})) {
        wanted.push_back(std::move(*w));
      }
    }
    return wanted;
  }

  // Starts probing every file the page names that was not probed before the
  // parse, in the page's order, so that by the time a part is made for one
  // its checks and type are mostly ready.
  void ProbeAhead(const std::vector<Wanted>& wanted) {
    std::vector<ProbeQueue::Request> requests;
    const auto ask = [&](const std::optional<fs::path>& host, bool typed) {
      if (!host) return;
      if (options_.probed_ahead && options_.probed_ahead->Has(*host, typed)) return;
      requests.push_back({*host, typed});
    };
    for (const Wanted& w : wanted) {
      ask(w.host, !w.style_sheet);
      if (w.decoded) ask(w.decoded->host, !w.style_sheet);
    }
    ahead_ = std::make_unique<ProbeQueue>(
        [requests = std::move(requests)](const std::function<void(ProbeQueue::Request)>& add) {
          for (const ProbeQueue::Request& r : requests) add(r);
        },
        options_.policy, AllCores());
  }

  ProbedFile Probe(const fs::path& host, bool typed) {
    for (ProbeQueue* queue : {options_.probed_ahead.get(), ahead_.get()}) {
      if (!queue) continue;
      if (const ProbedFile* probed = queue->Find(host, typed, prober_)) return *probed;
    }
    return prober_.Probe(host, typed);
  }

  // The edits pointing each reference at its part, the parts made in order.
  std::vector<Edit> EmbedAll(std::vector<Wanted> wanted) {
    std::vector<Edit> edits;
    for (Wanted& w : wanted) {
      if (const auto cid = Embed(w)) edits.push_back({w.where, "cid:" + *cid});
      w = Wanted{};  // its paths are of no more use
    }
    return edits;
  }

  void Tell(const std::u16string& path, const std::optional<fs::path>& host, ReadProblem why) {
    if (!told_.insert(path).second) return;
    if (options_.observer) options_.observer(path, host, why);
  }

  std::string NewContentId() const {
    return "part" + std::to_string(cids_.size() + data_cids_.size() + 1) + "." + token_ + "@" +
           domain_;
  }

  // The Content-ID of the part holding what `w` names, made on first
  // sight; nothing when it is left out. A file of the name as written is
  // taken before one of the name as a browser reads it.
  std::optional<std::string> Embed(Wanted& w) {
    if (w.data) return EmbedData(w);
    if (w.decoded) {
      const bool literal =
          w.host && Probe(*w.host, !w.style_sheet).problem != ReadProblem::kNotFound;
      if (!literal) {
        w.path = std::move(w.decoded->path);
        w.host = std::move(w.decoded->host);
      }
    }
    state_.references.emplace(w.path, w.reference);
    if (!w.host) {
      Tell(w.path, w.host, ReadProblem::kNotFound);
      return std::nullopt;
    }
    const ProbedFile probed = Probe(*w.host, !w.style_sheet);
    if (probed.problem == ReadProblem::kNotFound || probed.problem == ReadProblem::kRefused ||
        probed.problem == ReadProblem::kHardLink) {
      Tell(w.path, w.host, *probed.problem);
      return std::nullopt;
    }
    const std::string& file = probed.file;
    if (const auto seen = cids_.find(file); seen != cids_.end()) return seen->second;
    if (probed.problem) {
      Tell(w.path, w.host, *probed.problem);
      return std::nullopt;
    }
    const std::string cid = NewContentId();

    GMimePart* part;
    GMimeStream* content;
    if (w.style_sheet) {
      // Browsers insist on text/css for a linked sheet in standards mode;
      // the sheet's own references are pointed at their parts as well.
      const OpenedFile sheet = ReadChecked(options_.policy, probed);
      std::string css;
      if (sheet.problem ||
          !ReadWhole(sheet.fd.get(), static_cast<std::size_t>(sheet.info.st_size), css)) {
        Tell(w.path, w.host, sheet.problem.value_or(ReadProblem::kUnreadable));
        return std::nullopt;
      }
      cids_.emplace(file, cid);
      const std::string text = ApplyEdits(css, EmbedAll(CssReferences(css, FolderOf(w.path))));
      part = g_mime_part_new_with_type("text", "css");
      content = g_mime_stream_mem_new_with_buffer(text.data(), text.size());
    } else {
      cids_.emplace(file, cid);
      part = g_mime_part_new_with_type(probed.type.type.c_str(), probed.type.subtype.c_str());
      content = NewFilePlaceholder(state_.files.size());
      state_.files.push_back({probed});
    }
    g_mime_object_set_disposition(GMIME_OBJECT(part), "inline");
    g_mime_part_set_content_id(part, cid.c_str());
    // A file's placeholder counts as base64 already, which GMime then
    // copies as it is.
    SetContent(part, content, GMIME_CONTENT_ENCODING_BASE64,
               w.style_sheet ? GMIME_CONTENT_ENCODING_DEFAULT : GMIME_CONTENT_ENCODING_BASE64);
    SetFileName(GMIME_OBJECT(part), ToUtf8(GetFileName(w.path)));
    parts_.push_back(GMIME_OBJECT(part));
    state_.embedded.push_back({state_.references[w.path], w.path});
    return cid;
  }

  // A data: URL's part, one for every URL written alike. Its bytes are
  // decoded from the URL's text only as the message is written; the type
  // is the one the bytes show when they show an image, else the URL's.
  std::optional<std::string> EmbedData(Wanted& w) {
    const std::string& url = *w.data;
    if (const auto seen = data_cids_.find(url); seen != data_cids_.end()) return seen->second;
    const std::optional<DataUrl> parsed = ParseDataUrl(url);
    if (!parsed) {
      Tell(FromUtf8(url), std::nullopt, ReadProblem::kMalformed);
      return std::nullopt;
    }
    const std::size_t body_at = url.size() - parsed->data.size();
    const bool escaped = parsed->data.find('%') != std::string_view::npos;
    std::string body = escaped ? DataUrlBody(*parsed) : std::string();
    ContentType type{parsed->type, parsed->subtype};
    const ContentType seen =
        TypeOfData(escaped ? std::string_view(body) : parsed->data, parsed->base64);
    if (seen.type == "image" || type.type != "image") type = seen;

    const std::string& kept = state_.inline_data.emplace_back(std::move(*w.data));
    const std::string cid = NewContentId();
    data_cids_.emplace(kept, cid);
    const std::string_view bytes =
        escaped ? std::string_view(state_.inline_data.emplace_back(std::move(body)))
                : std::string_view(kept).substr(body_at);
    GMimeStream* content = NewViewStream(bytes);
    if (parsed->base64) {
      GMimeStream* decoded = g_mime_stream_filter_new(content);
      g_object_unref(content);
      GMimeFilter* decoder = g_mime_filter_basic_new(GMIME_CONTENT_ENCODING_BASE64, FALSE);
      g_mime_stream_filter_add(GMIME_STREAM_FILTER(decoded), decoder);
      g_object_unref(decoder);
      content = decoded;
    }
    GMimePart* part = g_mime_part_new_with_type(type.type.c_str(), type.subtype.c_str());
    g_mime_object_set_disposition(GMIME_OBJECT(part), "inline");
    g_mime_part_set_content_id(part, cid.c_str());
    SetContent(part, content, GMIME_CONTENT_ENCODING_BASE64);
    parts_.push_back(GMIME_OBJECT(part));
    return cid;
  }

  // libmagic's reading of the first bytes of a data URL's body.
  ContentType TypeOfData(std::string_view body, bool base64) {
    constexpr std::size_t kHead = 4096;
    if (!typer_) typer_ = std::make_unique<ContentTyper>();
    if (!base64) return typer_->TypeOf(body.data(), std::min(body.size(), kHead));
    const std::string_view text = body.substr(0, kHead / 3 * 4 + 256);  // room for white space
    std::vector<unsigned char> head(text.size() / 4 * 3 + 3);
    int state = 0;
    guint32 save = 0;
    const std::size_t n =
        g_mime_encoding_base64_decode_step(reinterpret_cast<const unsigned char*>(text.data()),
                                           text.size(), head.data(), &state, &save);
    return typer_->TypeOf(reinterpret_cast<const char*>(head.data()), std::min(n, kHead));
  }

  static void SetContent(GMimePart* part, GMimeStream* stream, GMimeContentEncoding encoding,
                         GMimeContentEncoding stream_encoding = GMIME_CONTENT_ENCODING_DEFAULT) {
    GMimeDataWrapper* wrapper = g_mime_data_wrapper_new_with_stream(stream, stream_encoding);
    g_object_unref(stream);
    g_mime_part_set_content(part, wrapper);
    g_object_unref(wrapper);
    g_mime_part_set_content_encoding(part, encoding);
  }

  Page page_;
  MailOptions options_;
  Mail::State& state_;
  FileProber prober_;  // files found only once the parts are being made
  FileProber attach_prober_{state_.attachments_policy};
  std::unique_ptr<ProbeQueue> ahead_;
  std::string domain_, token_;
  std::unordered_map<std::string, std::string> cids_;  // canonical file -> Content-ID
  // data: URL, as kept in the state -> Content-ID
  std::unordered_map<std::string_view, std::string> data_cids_;
  std::unique_ptr<ContentTyper> typer_;  // for data: URLs, loaded when one is met
  std::set<std::u16string> told_;
  std::vector<GMimeObject*> parts_;
};

}  // namespace

Mail::Mail(std::unique_ptr<State> state) : state_(std::move(state)) {}
Mail::~Mail() = default;
Mail::Mail(Mail&&) noexcept = default;
Mail& Mail::operator=(Mail&&) noexcept = default;

std::size_t Mail::parts() const {
  return state_->parts;
}
std::size_t Mail::attachments() const {
  return state_->attachments;
}
bool Mail::has_text() const {
  return state_->text;
}
const std::vector<Mail::Embedded>& Mail::embedded() const {
  return state_->embedded;
}
std::u16string Mail::ReferenceOf(const std::u16string& path) const {
  const auto found = state_->references.find(path);
  return found == state_->references.end() ? std::u16string() : found->second;
}
const std::string& Mail::envelope_from() const {
  return state_->from;
}
const std::vector<std::string>& Mail::recipients() const {
  return state_->recipients;
}
const DkimKey* Mail::dkim() const {
  return state_->dkim.get();
}

namespace {
// Pieces written ahead of the one being delivered: enough to ride out an
// uneven disk, few enough that memory stays flat.
constexpr std::size_t kPiecesAhead = 4;
}  // namespace

OpenedFile Mail::ReadPart(std::size_t index) const {
  const State::File& part = state_->files.at(index);
  const ProbedFile& checked = part.checked;
  OpenedFile file =
      ReadChecked(part.attachment ? state_->attachments_policy : state_->policy, checked);
  if (!file.problem) return file;
  std::string why;
  switch (*file.problem) {
    case ReadProblem::kNotFound:
      why = "it is gone, or no longer a plain file";
      break;
    case ReadProblem::kRefused:
      why = "a link was put on its way";
      break;
    case ReadProblem::kHardLink:
      why = "it was given another name (a hard link)";
      break;
    default:
      why = "it cannot be opened, or another file was put in its place";
      break;
  }
  throw Failure(err::kDeviceIo, FromUtf8("cannot read " + Printable(checked.file) + ": " + why +
                                         " since it was checked"));
}

void Mail::WriteTo(PieceChannel& channel) const {
  std::exception_ptr sink_error;
  GMimeFormatOptions* format = g_mime_format_options_new();
  g_mime_format_options_set_newline_format(format, GMIME_NEWLINE_FORMAT_UNIX);
  GMimeStream* stream =
      NewSinkStream([&](std::string& piece) { channel.Put(piece); },
                    [this](std::size_t index) { return ReadPart(index); }, &sink_error);
  const ssize_t written =
      g_mime_object_write_to_stream(GMIME_OBJECT(state_->message), format, stream);
  const int flushed = g_mime_stream_flush(stream);
  g_object_unref(stream);
  g_mime_format_options_free(format);
  if (sink_error) std::rethrow_exception(sink_error);
  if (written < 0 || flushed != 0)
    throw Failure(err::kDeviceIo, u"the message could not be written");
}

void Mail::Write(const std::function<void(std::string_view)>& sink) const {
  // GMime lays the message out and the files are read and encoded on a
  // thread of their own, while this one hands the pieces already done to
  // `sink`: the disk and the encoder work at the same time.
  PieceChannel channel(kPiecesAhead);
  std::exception_ptr write_error, sink_error;
  std::jthread writer([&] {
    try {
      WriteTo(channel);
    } catch (...) {
      write_error = std::current_exception();
    }
    channel.Close();
  });
  channel.TakeAll(sink, sink_error);
  writer.join();
  if (sink_error) std::rethrow_exception(sink_error);
  if (write_error) std::rethrow_exception(write_error);
}

Mail ComposeMail(Page page, MailOptions options) {
  InitGMime();
  auto state = std::make_unique<Mail::State>();
  state->dkim = options.dkim;
  Builder(std::move(page), std::move(options), *state).Run();
  return Mail(std::move(state));
}

}  // namespace corabind::mail
