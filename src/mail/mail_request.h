// What a mail is made of, as compose, send, serve, automate and the C
// interface ask for it: one request, filled from the command line's options
// or from JSON whose keys are the same long option names, and checked in
// one place before anything is read, written or sent.
#pragma once

#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "mail/dkim_signer.h"

namespace corabind::mail {

struct MailRequest {
  std::string from, subject;
  std::vector<std::string> to, cc;
  std::vector<std::string> bcc;  // the envelope only
  std::vector<std::string> reply_to, list_unsubscribe;
  std::string text;      // a file holding the plain-text alternative; "" makes it
  bool no_text = false;  // no plain-text alternative at all
  std::vector<std::string> attach;
  std::string charset = "utf-8";  // of the HTML and text parts
  bool keep_data_uris = false;    // data: URLs stay in the HTML, not made parts
  DkimOptions dkim;               // signs the message when a key is given
  std::vector<std::string> allow_roots;  // folders besides the mail's that may be read
  std::vector<std::string> drives;       // "X=/host/folder"
  bool allow_missing = false;
  bool allow_hard_links = false;  // embed files with more than one name

  // Failure kInvalidCall naming the option (as --name) and the value: an
  // address, subject, List-Unsubscribe URL or charset name the message
  // would refuse, --text with --no-text, DKIM options without a key or a
  // key without a selector, or a file name holding a NUL.
  void Validate() const;
};

// Fills a request from a JSON object whose keys are the long options:
// "from", "to", "reply-to", "list-unsubscribe", "no-text", "dkim-key"...
// Lists take an array of texts or one text. Keys in `others` are the
// caller's and skipped; keys in `refused` are mail keys the caller does not
// take. Failure kInvalidCall for anything else unknown, or a value of the
// wrong type, naming the key. The request is not validated; a NUL in a
// file name is refused by Validate.
MailRequest MailRequestFromJson(const nlohmann::json& object,
                                std::initializer_list<std::string_view> others,
                                std::initializer_list<std::string_view> refused = {});

}  // namespace corabind::mail
