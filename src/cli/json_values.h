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

namespace corabind::cli {

// A request the protocol cannot take (as opposed to a failure of the call).
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Documents parsed in this session, by handle ("d1", "d2", ...).
class DocumentTable {
 public:
  std::string Add(std::shared_ptr<html::HtmlDocument> document);
  std::shared_ptr<html::HtmlDocument> Get(const std::string& handle) const;
  // Forgets a document; false when the handle is unknown.
  bool Remove(const std::string& handle) { return documents_.erase(handle) != 0; }
  // The handle of a document, registering it when it is new.
  std::string HandleOf(const std::shared_ptr<Document>& document);

 private:
  std::map<std::string, std::shared_ptr<html::HtmlDocument>> documents_;
  int next_ = 1;
};

Variant ToVariant(const nlohmann::json& value, DocumentTable& documents);
nlohmann::json ToJson(const Variant& value, DocumentTable& documents);

}  // namespace corabind::cli
