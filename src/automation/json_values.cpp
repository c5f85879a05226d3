#include "automation/json_values.h"

#include <limits>

#include "core/collection.h"
#include "core/document.h"
#include "core/failure.h"
#include "core/printable.h"
#include "core/text.h"

namespace corabind::automation {

using nlohmann::json;

json ParseRequest(std::string_view line) {
  return json::parse(line, [](int depth, json::parse_event_t event, json&) {
    if (depth >= kMaxJsonDepth &&
        (event == json::parse_event_t::object_start || event == json::parse_event_t::array_start)) {
      throw ProtocolError("request nested deeper than " + std::to_string(kMaxJsonDepth) +
                          " levels");
    }
    return true;
  });
}

std::string Quoted(std::string_view text) {
  return "\"" + Printable(text, 80) + "\"";
}

std::string QuotedValue(const json& value) {
  return Printable(value.dump(-1, ' ', false, json::error_handler_t::replace), 80);
}

std::string DocumentTable::Add(std::shared_ptr<html::HtmlDocument> document,
                               const std::string& owner) {
  std::string handle = "d" + std::to_string(next_++);
  documents_.emplace(handle, Entry{std::move(document), owner});
  return handle;
}

void DocumentTable::ReleaseOwnedBy(const std::string& owner) {
  std::erase_if(documents_, [&](const auto& entry) { return entry.second.owner == owner; });
}

std::shared_ptr<html::HtmlDocument> DocumentTable::Get(const std::string& handle) const {
  const auto it = documents_.find(handle);
  if (it == documents_.end()) {
    std::string known;
    for (const auto& [name, entry] : documents_) known += (known.empty() ? "" : ", ") + name;
    throw ProtocolError("unknown document handle " + Quoted(handle) + "; " +
                        (known.empty() ? "no document was made (op document)"
                                       : "the documents are " + Printable(known, 200)));
  }
  return it->second.document;
}

std::string DocumentTable::HandleOf(const std::shared_ptr<Document>& document,
                                    const std::string& owner) {
  for (const auto& [handle, entry] : documents_) {
    if (entry.document == document) return handle;
  }
  auto html = std::dynamic_pointer_cast<html::HtmlDocument>(document);
  if (!html) throw ProtocolError("a document of another model cannot be handed out");
  return Add(std::move(html), owner);
}

namespace {

std::shared_ptr<Element> SelectElement(const json& selector, DocumentTable& documents) {
  if (!selector.is_object()) throw ProtocolError("\"element\" takes an object");
  if (selector.contains("html")) {
    if (!selector["html"].is_string()) throw ProtocolError("\"element.html\" takes a string");
    auto element =
        html::ParseElement(std::string_view(selector["html"].get_ref<const std::string&>()));
    if (!element) throw ProtocolError("the fragment holds no element");
    return element;
  }
  if (!selector.contains("document") || !selector["document"].is_string() ||
      !selector.contains("select") || !selector["select"].is_string()) {
    throw ProtocolError(
        "\"element\" takes {\"document\":\"d1\",\"select\":\"...\"} or {\"html\":\"...\"}");
  }
  const auto doc = documents.Get(selector["document"].get<std::string>());
  const std::string select = selector["select"].get<std::string>();
  std::shared_ptr<Element> found;
  if (select == "body") {
    found = doc->body();
  } else if (select == "html") {
    found = doc->root();
  } else if (!select.empty() && select[0] == '#') {
    found = doc->ElementById(FromUtf8(select.substr(1)));
  } else {
    std::string tag = select;
    std::size_t index = 0;
    if (const auto colon = select.find(':'); colon != std::string::npos) {
      tag = select.substr(0, colon);
      const std::string number = select.substr(colon + 1);
      if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
          number.size() > 9) {
        throw ProtocolError(Quoted(select) + ": the index after ':' must be a number");
      }
      index = std::stoul(number);
    }
    if (tag.empty()) throw ProtocolError("\"select\" is empty");
    found = doc->ElementByTagName(FromUtf8(tag), index);
  }
  if (!found) throw ProtocolError("no element matches " + Quoted(select));
  return found;
}

}  // namespace

Variant ToVariant(const json& value, DocumentTable& documents) {
  switch (value.type()) {
    case json::value_t::string:
      return Variant(FromUtf8(value.get_ref<const std::string&>()));
    case json::value_t::boolean:
      return Variant::Boolean(value.get<bool>());
    case json::value_t::null:
      return Variant(Null{});
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: {
      if (value.is_number_unsigned() &&
          value.get<std::uint64_t>() > std::numeric_limits<std::int32_t>::max()) {
        throw ProtocolError("integer " + QuotedValue(value) + " does not fit 32 bits");
      }
      const auto v = value.get<std::int64_t>();
      if (v < std::numeric_limits<std::int32_t>::min() ||
          v > std::numeric_limits<std::int32_t>::max()) {
        throw ProtocolError("integer " + QuotedValue(value) + " does not fit 32 bits");
      }
      return Variant(static_cast<std::int32_t>(v));
    }
    case json::value_t::number_float:
      return Variant(value.get<double>());
    case json::value_t::object: {
      if (value.size() != 1)
        throw ProtocolError("a value object has exactly one key: " + QuotedValue(value));
      const std::string& key = value.begin().key();
      const json& inner = value.begin().value();
      if (key == "empty" && inner == true) return Variant();
      if (key == "nothing" && inner == true) return Variant::Nothing();
      if (key == "collection") {
        if (!inner.is_array()) throw ProtocolError("\"collection\" takes an array");
        auto collection = std::make_shared<Collection>();
        for (const auto& item : inner) collection->Add(ToVariant(item, documents));
        return Variant(collection);
      }
      if (key == "document") {
        if (!inner.is_string()) throw ProtocolError("\"document\" takes a handle");
        return Variant(std::static_pointer_cast<Document>(documents.Get(inner.get<std::string>())));
      }
      if (key == "element") return Variant(SelectElement(inner, documents));
      throw ProtocolError("unknown value form: " + QuotedValue(value) +
                          "; the forms are {\"empty\":true}, {\"nothing\":true}, "
                          "{\"collection\":[...]}, {\"document\":H}, {\"element\":{...}}");
    }
    default:
      throw ProtocolError("unknown value form: " + QuotedValue(value));
  }
}

json ToJson(const Variant& value, DocumentTable& documents, const std::string& owner) {
  const auto& s = value.storage();
  if (value.IsEmpty()) return json{{"empty", true}};
  if (value.IsNull()) return nullptr;
  if (const auto* b = std::get_if<Bool>(&s)) return b->value != kFalse;
  if (const auto* i = std::get_if<std::int16_t>(&s)) return *i;
  if (const auto* i = std::get_if<std::int32_t>(&s)) return *i;
  if (const auto* d = std::get_if<double>(&s)) return *d;
  if (const auto* t = std::get_if<std::u16string>(&s)) return ToUtf8(*t);
  const auto& ref = std::get<ObjectRef>(s);
  if (const auto c = ref.Get<Collection>()) {
    json items = json::array();
    for (const auto& item : c->items()) items.push_back(ToJson(item, documents, owner));
    return json{{"collection", items}};
  }
  if (const auto d = ref.Get<Document>()) return json{{"document", documents.HandleOf(d, owner)}};
  if (const auto e = ref.Get<Element>()) {
    return json{
        {"element", {{"tagName", ToUtf8(e->tagName())}, {"outerHTML", ToUtf8(e->outerHTML())}}}};
  }
  if (const auto s = ref.Get<StyleSheet>())
    return json{{"styleSheet", {{"href", ToJson(s->href(), documents, owner)}}}};
  return json{{"nothing", true}};
}

}  // namespace corabind::automation
