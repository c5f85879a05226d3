// The entry point of corabind-smtp.so: SMTP over libcurl, which only this
// module links.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"
#include "mail/smtp_sender.h"
#include "modules/module_loader.h"

namespace corabind::mail {

namespace {

void InitCurl() {
  static const CURLcode status = curl_global_init(CURL_GLOBAL_DEFAULT);  // once per process
  if (status != CURLE_OK) throw Failure(err::kInternal, u"libcurl could not be set up");
}

struct Transfer {
  const MessageReader* read;
  const SmtpOptions* options;
  std::size_t size;
  std::string last_refusal;  // the server's last 4xx or 5xx reply: why it said no
  std::string reply_so_far;
  bool smtputf8 = false;  // the server listed SMTPUTF8 among its extensions
};

std::size_t ReadBody(char* buffer, std::size_t size, std::size_t count, void* data) {
  auto* t = static_cast<Transfer*>(data);
  try {
    return (*t->read)(buffer, size * count);
  } catch (...) {
    return CURL_READFUNC_ABORT;
  }
}

// Keeps the server's last refusal, every line of it, for the error message,
// and notes the extensions it offers.
int Debug(CURL*, curl_infotype type, char* text, std::size_t size, void* data) {
  auto* t = static_cast<Transfer*>(data);
  if (type != CURLINFO_HEADER_IN) return 0;
  std::string line(text, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.rfind("250", 0) == 0 && line.size() >= 12) {
    std::string keyword = line.substr(4, line.find(' ', 4) - 4);
    for (char& c : keyword) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (keyword == "SMTPUTF8") t->smtputf8 = true;
  }
  if (!t->reply_so_far.empty()) t->reply_so_far += " / ";
  t->reply_so_far += line;
  // "250-..." continues a reply; "250 ..." ends it.
  if (line.size() < 4 || line[3] != '-') {
    if (!t->reply_so_far.empty() && (t->reply_so_far[0] == '4' || t->reply_so_far[0] == '5')) {
      t->last_refusal = t->reply_so_far;
    }
    t->reply_so_far.clear();
  }
  return 0;
}

int Progress(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
  auto* t = static_cast<Transfer*>(data);
  if (t->options->progress) t->options->progress(static_cast<std::size_t>(sent), t->size);
  return 0;
}

// Where an smtp:// or smtps:// URL leads: its host, port, and the addresses
// the host resolves to, looked up once so that what is judged is what is
// connected to.
struct Target {
  std::string host;  // as the URL writes it ("[::1]" for an IPv6 literal)
  std::string port;
  bool literal = false;  // the host is an address already
  std::vector<std::string> addresses;
  bool loopback = false;  // every address is this machine's
};

// `url` as a message may show it: printable, and without the user name and
// password it may carry before its host, which would otherwise end up in
// logs.
std::string Shown(std::string_view url) {
  std::string shown(url);
  if (const std::size_t scheme = url.find("://"); scheme != std::string_view::npos) {
    const std::size_t host = scheme + 3;
    const std::string_view authority = url.substr(host, url.find_first_of("/?#", host) - host);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
      shown.erase(host, at + 1);
  }
  return Printable(shown);
}

std::string UrlPart(CURLU* url, CURLUPart part) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, CURLU_DEFAULT_PORT) != CURLUE_OK) return {};
  std::string copy = text;
  curl_free(text);
  return copy;
}

Target Resolve(const std::string& url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), curl_url_cleanup);
  if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK)
    throw Failure(err::kInvalidCall, FromUtf8("not a URL: " + Shown(url)));
  Target target;
  target.host = UrlPart(handle.get(), CURLUPART_HOST);
  target.port = UrlPart(handle.get(), CURLUPART_PORT);
  std::string name = target.host;
  if (name.size() > 2 && name.front() == '[' && name.back() == ']')
    name = name.substr(1, name.size() - 2);
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int status = ::getaddrinfo(name.c_str(), nullptr, &hints, &found); status != 0) {
    throw Failure(err::kDeviceIo,
                  FromUtf8("cannot resolve " + target.host + ": " + ::gai_strerror(status)));
  }
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> owned(found, ::freeaddrinfo);
  target.loopback = true;
  for (const addrinfo* a = found; a; a = a->ai_next) {
    char text[INET6_ADDRSTRLEN] = "";
    bool here = false;
    if (a->ai_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
      ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
      here = (ntohl(in->sin_addr.s_addr) >> 24) == 127;
      target.addresses.emplace_back(text);
    } else if (a->ai_family == AF_INET6) {
      const auto* in = reinterpret_cast<const sockaddr_in6*>(a->ai_addr);
      ::inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
      here = IN6_IS_ADDR_LOOPBACK(&in->sin6_addr);
      target.addresses.push_back("[" + std::string(text) + "]");
    } else {
      continue;
    }
    target.literal = target.literal || text == name;
    target.loopback = target.loopback && here;
  }
  if (target.addresses.empty()) target.loopback = false;
  return target;
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

using CurlList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

void Append(CurlList& list, const std::string& text) {
  curl_slist* grown = curl_slist_append(list.get(), text.c_str());
  if (!grown) throw Failure(err::kInternal, u"out of memory");
  list.release();
  list.reset(grown);
}

// One libcurl handle set up for `options`, with what it points at.
struct Session {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl{curl_easy_init(), curl_easy_cleanup};
  CurlList recipients{nullptr, curl_slist_free_all};
  CurlList resolve{nullptr, curl_slist_free_all};
  std::string mail_from;
  char error[CURL_ERROR_SIZE] = "";

  Session(const SmtpOptions& options, const Target& target, Tls tls, Transfer& transfer) {
    if (!curl) throw Failure(err::kInternal, u"libcurl could not be set up");
    CURL* c = curl.get();
    for (const std::string& r : options.recipients) Append(recipients, "<" + r + ">");
    if (!target.literal) {
      std::string pinned = target.host + ":" + target.port + ":";
      for (const std::string& a : target.addresses)
        pinned += a + (&a == &target.addresses.back() ? "" : ",");
      Append(resolve, pinned);
      curl_easy_setopt(c, CURLOPT_RESOLVE, resolve.get());
    }
    mail_from = "<" + options.from + ">";
    curl_easy_setopt(c, CURLOPT_URL, options.url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, mail_from.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(transfer.size));
    curl_easy_setopt(c, CURLOPT_READFUNCTION, ReadBody);
    curl_easy_setopt(c, CURLOPT_READDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_USE_SSL,
                     tls == Tls::kRequired ? CURLUSESSL_ALL
                     : tls == Tls::kTry    ? CURLUSESSL_TRY
                                           : CURLUSESSL_NONE);
    if (!options.ca_file.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, options.ca_file.c_str());
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);  // the replies reach Debug, and only it
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, Debug);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &transfer);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, options.progress ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
    if (!options.user.empty()) {
      curl_easy_setopt(c, CURLOPT_USERNAME, options.user.c_str());
      if (!options.password.empty()) {
        curl_easy_setopt(c, CURLOPT_PASSWORD, options.password.c_str());
      } else {
        curl_easy_setopt(c, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
      }
    }
  }

  // Runs the handle; Failure saying what went wrong: libcurl's own words
  // (a TLS handshake's reason among them) and the server's refusal if any.
  void Perform(const Transfer& transfer) {
    const CURLcode status = curl_easy_perform(curl.get());
    if (status == CURLE_OK) return;
    std::string text = error[0] != '\0' ? error : curl_easy_strerror(status);
    if (!transfer.last_refusal.empty()) text += "; the server said: " + transfer.last_refusal;
    throw Failure(err::kDeviceIo, FromUtf8(text));
  }
};

Sent Send(const SmtpOptions& options, const MessageReader& read, std::size_t size) {
  InitCurl();
  const bool smtps = options.url.rfind("smtps://", 0) == 0;
  if (!smtps && options.url.rfind("smtp://", 0) != 0) {
    throw Failure(err::kInvalidCall,
                  FromUtf8("not an smtp:// or smtps:// URL: " + Shown(options.url)));
  }
  if (options.from.empty()) throw Failure(err::kInvalidCall, u"no sender for the envelope");
  if (options.recipients.empty()) throw Failure(err::kInvalidCall, u"no recipient");
  // STARTTLS is only optional to this machine, judged by where the name
  // leads, not how it reads ("127.evil.example" may lead anywhere).
  const Target target = Resolve(options.url);
  const Tls tls = options.tls ? *options.tls : target.loopback ? Tls::kTry : Tls::kRequired;
  // libcurl sends a UTF-8 address whether or not the server takes one:
  // when an address needs SMTPUTF8 the server is asked first.
  std::string utf8_address = IsAscii(options.from) ? "" : options.from;
  for (const std::string& r : options.recipients) {
    if (utf8_address.empty() && !IsAscii(r)) utf8_address = r;
  }
  if (!utf8_address.empty()) {
    Transfer probe{&read, &options, size};
    Session session(options, target, tls, probe);
    curl_easy_setopt(session.curl.get(), CURLOPT_CONNECT_ONLY, 1L);
    session.Perform(probe);
    if (!probe.smtputf8) {
      throw Failure(err::kNotSupported,
                    FromUtf8("the server does not offer SMTPUTF8, which " + utf8_address +
                             " needs (its local part is not ASCII); nothing sent"));
    }
  }
  Transfer transfer{&read, &options, size};
  Session(options, target, tls, transfer).Perform(transfer);
  return Sent{!utf8_address.empty()};
}

class CurlTransport : public SmtpTransport {
 public:
  Sent Send(const SmtpOptions& options, const MessageReader& read, std::size_t size) override {
    return mail::Send(options, read, size);
  }
};

}  // namespace
}  // namespace corabind::mail

extern "C" __attribute__((visibility("default"))) unsigned corabind_smtp_module(unsigned wanted,
                                                                                void** made) {
  return corabind::modules::Make<corabind::mail::SmtpTransport, corabind::mail::CurlTransport>(
      wanted, made);
}
