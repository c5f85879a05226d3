#include "mail/mail_request.h"

#include <algorithm>
#include <variant>

#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"
#include "mail/address.h"
#include "mail/mail_writer.h"

namespace corabind::mail {

using nlohmann::json;

namespace {

[[noreturn]] void Invalid(const std::string& text) {
  throw Failure(err::kInvalidCall, FromUtf8(text));
}

// Each key once, bound to the member it fills.
using Field = std::variant<std::string MailRequest::*, std::vector<std::string> MailRequest::*,
                           bool MailRequest::*, std::string DkimOptions::*>;
struct Key {
  std::string_view name;
  Field field;
};
const Key kKeys[] = {
    {"from", &MailRequest::from},
    {"to", &MailRequest::to},
    {"cc", &MailRequest::cc},
    {"bcc", &MailRequest::bcc},
    {"reply-to", &MailRequest::reply_to},
    {"list-unsubscribe", &MailRequest::list_unsubscribe},
    {"subject", &MailRequest::subject},
    {"text", &MailRequest::text},
    {"no-text", &MailRequest::no_text},
    {"attach", &MailRequest::attach},
    {"charset", &MailRequest::charset},
    {"keep-data-uris", &MailRequest::keep_data_uris},
    {"allow-root", &MailRequest::allow_roots},
    {"drive", &MailRequest::drives},
    {"allow-hard-links", &MailRequest::allow_hard_links},
    {"allow-missing", &MailRequest::allow_missing},
    {"dkim-key", &DkimOptions::key_file},
    {"dkim-selector", &DkimOptions::selector},
    {"dkim-domain", &DkimOptions::domain},
};

std::string Quote(std::string_view key) { return "\"" + Printable(std::string(key), 80) + "\""; }

void Fill(MailRequest& request, const Key& key, const json& value) {
  const auto wrong = [&](const char* takes) { Invalid(Quote(key.name) + " takes " + takes); };
  std::visit(
      [&](auto member) {
        using M = decltype(member);
        if constexpr (std::is_same_v<M, bool MailRequest::*>) {
          if (!value.is_boolean()) wrong("true or false");
          request.*member = value.get<bool>();
        } else if constexpr (std::is_same_v<M, std::vector<std::string> MailRequest::*>) {
          auto& list = request.*member;
          list.clear();
          if (value.is_string()) return list.push_back(value.get<std::string>());
          if (!value.is_array()) wrong("a text or a list of texts");
          for (const json& item : value) {
            if (!item.is_string()) wrong("a text or a list of texts");
            list.push_back(item.get<std::string>());
          }
        } else {
          if (!value.is_string()) wrong("a text");
          if constexpr (std::is_same_v<M, std::string DkimOptions::*>) {
            request.dkim.*member = value.get<std::string>();
          } else {
            request.*member = value.get<std::string>();
          }
        }
      },
      key.field);
}

}  // namespace

MailRequest MailRequestFromJson(const json& object, std::initializer_list<std::string_view> others,
                                std::initializer_list<std::string_view> refused) {
  if (!object.is_object()) Invalid("a mail request is a JSON object");
  MailRequest request;
  for (const auto& item : object.items()) {
    const std::string& name = item.key();  // not a structured binding: lambdas use it
    const auto in = [&](std::initializer_list<std::string_view> names) {
      return std::find(names.begin(), names.end(), name) != names.end();
    };
    if (in(others)) continue;
    const auto key = std::find_if(std::begin(kKeys), std::end(kKeys),
                                  [&](const Key& k) { return k.name == name; });
    if (key == std::end(kKeys) || in(refused)) {
      std::string known;
      const auto add = [&](std::string_view k) { known += (known.empty() ? "" : ", ") + std::string(k); };
      for (const std::string_view k : others) add(k);
      for (const Key& k : kKeys) {
        if (std::find(refused.begin(), refused.end(), k.name) == refused.end()) add(k.name);
      }
      Invalid((key == std::end(kKeys) ? "unknown key " : "this request does not take ") +
              Quote(name) + "; the keys are " + known);
    }
    Fill(request, *key, item.value());
  }
  return request;
}

void MailRequest::Validate() const {
  if (!from.empty()) ParseAddressList("--from", from);
  for (const auto& [label, list] : {std::pair{"--to", &to}, std::pair{"--cc", &cc},
                                    std::pair{"--bcc", &bcc}, std::pair{"--reply-to", &reply_to}}) {
    for (const std::string& text : *list) ParseAddressList(label, text);
  }
  CheckHeaderText("--subject", subject);
  const auto labelled = [](const char* label, const auto& check) {
    try {
      check();
    } catch (const Failure& failure) {
      Invalid(std::string(label) + ": " + failure.what());
    }
  };
  labelled("--list-unsubscribe", [&] { CheckUnsubscribeUrls(list_unsubscribe); });
  labelled("--charset", [&] { CheckCharsetName(charset); });
  // A NUL would end the name where the system reads it: another file.
  const auto no_nul = [](const char* label, const std::string& name) {
    if (name.find('\0') != std::string::npos)
      Invalid(std::string(label) + " " + Printable(name) + ": a file name holds no NUL character");
  };
  no_nul("--text", text);
  no_nul("--dkim-key", dkim.key_file);
  for (const auto& [label, list] : {std::pair{"--attach", &attach},
                                    std::pair{"--allow-root", &allow_roots},
                                    std::pair{"--drive", &drives}}) {
    for (const std::string& name : *list) no_nul(label, name);
  }
  if (no_text && !text.empty()) Invalid("--text and --no-text exclude each other");
  if (dkim.on() && dkim.selector.empty()) Invalid("--dkim-key needs --dkim-selector");
  if (!dkim.on() && !(dkim.selector.empty() && dkim.domain.empty()))
    Invalid(std::string(dkim.selector.empty() ? "--dkim-domain" : "--dkim-selector") +
            " needs --dkim-key");
}

}  // namespace corabind::mail
