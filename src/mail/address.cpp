#include "mail/address.h"

#include <arpa/inet.h>
#include <gmime/gmime.h>
#include <idn2.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"

namespace corabind::mail {

namespace {

[[noreturn]] void Refuse(const std::string& why) {
  throw Failure(err::kInvalidCall, FromUtf8(why));
}

// Refuses any C0 control (tab included) or DEL, and bytes that are not
// UTF-8: once in a header or an SMTP command none of them can be told apart
// from the structure around it, and cleaning them away would send to or
// show someone else.
void RefuseControls(std::string_view text) {
  const auto bad = std::find_if(text.begin(), text.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7F;
  });
  if (bad != text.end()) {
    char code[8];
    std::snprintf(code, sizeof code, "%02X", static_cast<unsigned char>(*bad));
    Refuse(std::string("holds the control character U+00") + code + " at byte " +
           std::to_string(bad - text.begin() + 1) + "; control characters are refused");
  }
  if (const auto at = FindInvalidUtf8(text)) {
    Refuse("is not UTF-8 at byte " + std::to_string(*at + 1));
  }
}

// The '@' signs that separate a local part from its domain: outside quoted
// strings, comments and domain literals. GMime's parser is lenient and
// reads "a@b@c" as "a@b"; counting these makes sure nothing was dropped.
std::size_t CountAtSigns(std::string_view text) {
  std::size_t count = 0;
  int comment = 0;
  bool quoted = false, literal = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((quoted || comment) && c == '\\') {
      ++i;
    } else if (quoted) {
      quoted = c != '"';
    } else if (comment) {
      comment += c == '(' ? 1 : c == ')' ? -1 : 0;
    } else if (literal) {
      literal = c != ']';
    } else if (c == '"') {
      quoted = true;
    } else if (c == '(') {
      comment = 1;
    } else if (c == '[') {
      literal = true;
    } else if (c == '@') {
      ++count;
    }
  }
  return count;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// "[192.0.2.1]" or "[IPv6:2001:db8::1]" (RFC 5321): an address and nothing
// else, so that no '>' or space in it can end the envelope's path.
bool IsAddressLiteral(std::string_view domain) {
  constexpr std::string_view kIpv6Tag = "IPv6:";
  std::string address(domain.substr(1, domain.size() - 2));
  const bool ipv6 = ::strncasecmp(address.c_str(), kIpv6Tag.data(), kIpv6Tag.size()) == 0;
  if (ipv6) address.erase(0, kIpv6Tag.size());
  unsigned char binary[sizeof(in6_addr)];
  return ::inet_pton(ipv6 ? AF_INET6 : AF_INET, address.c_str(), binary) == 1;
}

// A host name of letters, digits, hyphens and dots, or an address literal.
bool IsHostName(std::string_view domain) {
  if (domain.size() > 2 && domain.front() == '[' && domain.back() == ']')
    return IsAddressLiteral(domain);
  if (domain.empty() || domain.front() == '.' || domain.back() == '.' ||
      domain.find("..") != std::string_view::npos)
    return false;
  return std::all_of(domain.begin(), domain.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.';
  });
}

// The domain as DNS and SMTP servers without SMTPUTF8 know it.
std::string ALabel(const std::string& domain) {
  if (IsAscii(domain)) return domain;
  char* ascii = nullptr;
  const int status =
      idn2_to_ascii_8z(domain.c_str(), &ascii, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
  if (status != IDN2_OK) {
    Refuse("its domain is not a valid international domain name (" +
           std::string(idn2_strerror(status)) + ")");
  }
  std::string label = ascii;
  idn2_free(ascii);
  return label;
}

void Collect(InternetAddressList* list, std::vector<Mailbox>& out, bool top = true) {
  for (int i = 0; i < internet_address_list_length(list); ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      // "Name: a@b, c@d;" and nothing stranger: a group without a name or
      // members, or within a group, is how the lenient parser reads text
      // that is no address list.
      InternetAddressList* members =
          internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
      const char* name = internet_address_get_name(address);
      const std::size_t before = out.size();
      if (!top || !name || !*name) Refuse("does not read as an address list");
      Collect(members, out, false);
      if (out.size() == before) Refuse("does not read as an address list");
      continue;
    }
    if (!INTERNET_ADDRESS_IS_MAILBOX(address)) continue;
    auto* mailbox = INTERNET_ADDRESS_MAILBOX(address);
    const std::string addr = internet_address_mailbox_get_addr(mailbox);
    const auto at = addr.rfind('@');
    if (at == std::string::npos || at == 0 || at + 1 == addr.size()) {
      Refuse("does not read as user@host");
    }
    const std::string local = addr.substr(0, at);
    const std::string domain = ALabel(addr.substr(at + 1));
    if (!IsHostName(domain)) Refuse("its domain is not a host name");
    Mailbox found{internet_address_get_name(address) ? internet_address_get_name(address) : "",
                  local + "@" + domain, !IsAscii(local)};
    // The header then carries what the envelope does.
    if (found.address != addr) internet_address_mailbox_set_addr(mailbox, found.address.c_str());
    out.push_back(std::move(found));
  }
}

// The addresses of `text`; a failure says why, without the value.
std::vector<Mailbox> Parse(std::string_view text, InternetAddressList* into) {
  static std::once_flag once;  // GMime has one process-wide set-up of its own
  std::call_once(once, [] { g_mime_init(); });
  RefuseControls(text);
  const std::string terminated(text);
  GMimeParserOptions* options = g_mime_parser_options_new();
  g_mime_parser_options_set_address_compliance_mode(options, GMIME_RFC_COMPLIANCE_STRICT);
  g_mime_parser_options_set_allow_addresses_without_domain(options, FALSE);
  InternetAddressList* list = internet_address_list_parse(options, terminated.c_str());
  g_mime_parser_options_free(options);
  if (!list) Refuse("does not read as an address list");
  std::vector<Mailbox> found;
  try {
    Collect(list, found);
    if (found.empty()) Refuse("holds no address");
    if (found.size() != CountAtSigns(text)) Refuse("does not read as an address list");
  } catch (...) {
    g_object_unref(list);
    throw;
  }
  if (into) internet_address_list_append(into, list);
  g_object_unref(list);
  return found;
}

}  // namespace

std::vector<Mailbox> ParseAddressList(std::string_view label, std::string_view text,
                                      InternetAddressList* into) {
  try {
    return Parse(text, into);
  } catch (const Failure& why) {
    Refuse(std::string(label) + " \"" + Printable(text) + "\": " + ToUtf8(why.description()));
  }
}

void CheckHeaderText(std::string_view label, std::string_view text) {
  try {
    RefuseControls(text);
  } catch (const Failure& why) {
    Refuse(std::string(label) + " \"" + Printable(text) + "\": " + ToUtf8(why.description()));
  }
}

}  // namespace corabind::mail
