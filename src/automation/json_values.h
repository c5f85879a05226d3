// The automation protocol's value forms: JSON to variants and back.
//   "text"                      text
//   true / false                automation booleans (-1 / 0)
//   integer                     32-bit integer
//   other number                double
//   null                        Null
//   {"empty":true}              Empty
//   {"nothing":true}            an object reference to nothing
//   {"collection":[...]}        a collection
//   {"document":"d1"}           a parsed document
//   {"element":{"document":"d1","select":S}} or {"element":{"html":"..."}}
#pragma once

#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "core/variant.h"
#include "platform/html/html_document.h"

namespace corabind::automation {

// A request the protocol cannot take (as opposed to a failure of the call).
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Nesting deeper than this is refused while parsing: the JSON library copies,
// prints and compares values recursively, and a request 100,000 levels deep
// would overflow the stack. No request of the protocol needs more than a few.
inline constexpr int kMaxJsonDepth = 64;

// Parses one request; json::exception when it is not JSON, ProtocolError
// when it nests deeper than kMaxJsonDepth.
nlohmann::json ParseRequest(std::string_view text);

// Documents parsed in this session, by handle ("d1", "d2", ...).
class DocumentTable {
 public:
  // `owner` is the control whose result handed the document out ("" for
  // none): releasing that control releases the handle too.
  std::string Add(std::shared_ptr<html::HtmlDocument> document, const std::string& owner = {});
  std::shared_ptr<html::HtmlDocument> Get(const std::string& handle) const;
  // The handle of a document, registering it for `owner` when it is new.
  std::string HandleOf(const std::shared_ptr<Document>& document, const std::string& owner);
  // Forgets a handle; false when there is none such. The document itself goes
  // once no element or control refers to it any more.
  bool Release(const std::string& handle) { return documents_.erase(handle) != 0; }
  void ReleaseOwnedBy(const std::string& owner);
  std::size_t size() const { return documents_.size(); }

 private:
  struct Entry {
    std::shared_ptr<html::HtmlDocument> document;
    std::string owner;
  };
  std::map<std::string, Entry> documents_;
  int next_ = 1;
};

// A client's text or value as an error message may quote it: short, one line.
std::string Quoted(std::string_view text);
std::string QuotedValue(const nlohmann::json& value);

Variant ToVariant(const nlohmann::json& value, DocumentTable& documents);
// Documents in the result that have no handle yet get one owned by `owner`.
nlohmann::json ToJson(const Variant& value, DocumentTable& documents, const std::string& owner);

}  // namespace corabind::automation
