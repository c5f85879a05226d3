// The C interface (include/corabind/corabind.h): handles over the component
// server's class factory, the HTML document model and the headless desktop.
// Every entry point runs its body inside Guard, so no exception crosses into
// a C caller; a failure comes back as a status with a number and description.
#include <corabind/corabind.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "automation/json_values.h"
#include "automation/mail_composer.h"
#include "control/type_library.h"
#include "core/collection.h"
#include "core/document.h"
#include "core/failure.h"
#include "core/library.h"
#include "core/text.h"
#include "platform/headless/headless_desktop.h"
#include "platform/headless/ui_script.h"
#include "platform/html/html_document.h"
#include "platform/posix/base64_file_encoder_posix.h"
#include "platform/posix/path_map.h"
#include "platform/posix/posix_file_system.h"
#include "server/component_server.h"
#include "server/dispatch_object.h"
#include "server/registration_store.h"

namespace corabind::capi {
namespace {

// A request the interface cannot take, as opposed to a failure of the library.
class Misuse : public std::runtime_error {
 public:
  Misuse(std::int32_t number, const std::string& what) : std::runtime_error(what), number(number) {}
  std::int32_t number;
};

constexpr std::int32_t kOutOfMemory = 7;
// Handed out when even the description cannot be allocated; never freed.
constexpr char kOutOfMemoryText[] = "Out of memory";
// Collections nested deeper than this are refused: a caller's collection that
// holds itself would otherwise recurse without end.
constexpr int kMaxNesting = 64;

// The library opened for one caller: the headless desktop its dialogs run on
// and the path mapping shared by the desktop and the file services. While it
// lives it supplies the loaded library's services; it hands back the ones it
// found when the last handle referring to it is released.
class Session {
 public:
  Session() {
    void* factory = nullptr;
    const std::string clsid = ToUtf8(kClassId);
    if (DllGetClassObject(clsid.c_str(), &factory) != kS_OK || !factory)
      throw Failure(err::kCannotCreateObject, u"The library does not serve its own class");
    factory_ = static_cast<ClassFactory*>(factory);
    Library& library = factory_->library();
    if (library.services().desktop)
      throw Misuse(err::kInvalidCall, "the library is already open in this process");
    desktop_ = std::make_shared<HeadlessDesktop>(*paths_);
    saved_ = library.services();
    library.set_services(
        Services{desktop_, std::make_shared<PosixFileSystem>(paths_),
                 std::make_shared<PosixBase64FileEncoderFactory>(ResolveThrough(paths_))});
  }
  ~Session() { factory_->library().set_services(std::move(saved_)); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  ClassFactory& factory() { return *factory_; }
  HeadlessDesktop& desktop() { return *desktop_; }
  PathMap& paths() { return *paths_; }

 private:
  ClassFactory* factory_ = nullptr;
  std::shared_ptr<PathMap> paths_ = std::make_shared<PathMap>();
  std::shared_ptr<HeadlessDesktop> desktop_;
  Services saved_;
};

// Each handle starts with its own tag, so a handle of the wrong kind or one
// already released (tag cleared) is more likely caught than followed.
enum class Tag : std::uint32_t {
  kLibrary = 0x4c425243,
  kControl = 0x43425243,
  kDocument = 0x44425243,
  kElement = 0x45425243,
  kReleased = 0,
};

}  // namespace
}  // namespace corabind::capi

struct corabind_library {
  corabind::capi::Tag tag = corabind::capi::Tag::kLibrary;
  std::shared_ptr<corabind::capi::Session> session;
};
struct corabind_control {
  corabind::capi::Tag tag = corabind::capi::Tag::kControl;
  std::shared_ptr<corabind::capi::Session> session;
  std::shared_ptr<corabind::DispatchObject> object;
};
struct corabind_document {
  corabind::capi::Tag tag = corabind::capi::Tag::kDocument;
  std::shared_ptr<corabind::Document> document;
};
struct corabind_element {
  corabind::capi::Tag tag = corabind::capi::Tag::kElement;
  std::shared_ptr<corabind::Element> element;
};

namespace corabind::capi {
namespace {

template <class H>
H& Check(H* handle, Tag tag, const char* what) {
  if (!handle) throw Misuse(err::kInvalidCall, std::string("the ") + what + " handle is NULL");
  if (handle->tag != tag)
    throw Misuse(err::kInvalidCall, std::string("not a valid ") + what + " handle");
  return *handle;
}
corabind_library& Check(corabind_library* h) {
  return Check(h, Tag::kLibrary, "library");
}
const corabind_library& Check(const corabind_library* h) {
  return Check(const_cast<corabind_library*>(h));
}
corabind_control& Check(corabind_control* h) {
  return Check(h, Tag::kControl, "control");
}
const corabind_document& Check(const corabind_document* h) {
  return Check(const_cast<corabind_document*>(h), Tag::kDocument, "document");
}
const corabind_element& Check(const corabind_element* h) {
  return Check(const_cast<corabind_element*>(h), Tag::kElement, "element");
}

template <class T>
void NeedOut(T** out, const char* what) {
  if (!out) throw Misuse(err::kInvalidCall, std::string("the place for the ") + what + " is NULL");
  *out = nullptr;
}

std::string_view Bytes(const char* data, std::size_t length, const char* what) {
  if (!data && length) throw Misuse(err::kInvalidCall, std::string(what) + " is NULL");
  return data ? std::string_view(data, length) : std::string_view();
}

const char* NeedText(const char* text, const char* what) {
  if (!text) throw Misuse(err::kInvalidCall, std::string(what) + " is NULL");
  return text;
}

// malloc'd, NUL-terminated copy for the caller to free.
char* CopyText(std::string_view text) {
  char* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (!out) throw std::bad_alloc();
  if (!text.empty()) std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return out;
}

corabind_status Report(corabind_error* error, corabind_status status, std::int32_t number,
                       const char* description) noexcept {
  if (!error) return status;
  error->number = number;
  const std::size_t size = std::strlen(description) + 1;
  error->description = static_cast<char*>(std::malloc(size));
  if (error->description) {
    std::memcpy(error->description, description, size);
  } else {
    error->number = kOutOfMemory;
    error->description = const_cast<char*>(kOutOfMemoryText);
  }
  return status;
}

template <class F>
corabind_status Guard(corabind_error* error, F&& body) noexcept {
  try {
    body();
    return CORABIND_OK;
  } catch (const Misuse& m) {
    return Report(error, CORABIND_MISUSE, m.number, m.what());
  } catch (const Failure& f) {
    return Report(error, CORABIND_FAILURE, f.number(), f.what());
  } catch (const std::bad_alloc&) {
    return Report(error, CORABIND_FAILURE, kOutOfMemory, kOutOfMemoryText);
  } catch (const std::exception& e) {
    return Report(error, CORABIND_FAILURE, err::kInternal, e.what());
  } catch (...) {
    return Report(error, CORABIND_FAILURE, err::kInternal, "Internal error");
  }
}

Variant ToVariant(const corabind_value& value, int depth) {
  switch (value.kind) {
    case CORABIND_EMPTY:
      return Variant();
    case CORABIND_NULL:
      return Variant(Null{});
    case CORABIND_NOTHING:
      return Variant::Nothing();
    case CORABIND_BOOLEAN:
      if (value.integer < std::numeric_limits<std::int16_t>::min() ||
          value.integer > std::numeric_limits<std::int16_t>::max()) {
        throw Misuse(err::kOverflow,
                     "boolean " + std::to_string(value.integer) + " does not fit 16 bits");
      }
      return Variant(Bool{static_cast<VariantBool>(value.integer)});
    case CORABIND_INTEGER:
      return Variant(value.integer);
    case CORABIND_DOUBLE:
      return Variant(value.number);
    case CORABIND_TEXT:
      return Variant(FromUtf8(Bytes(value.text, value.length, "the text of a value")));
    case CORABIND_COLLECTION: {
      if (depth >= kMaxNesting)
        throw Misuse(err::kInvalidCall,
                     "collections nested deeper than " + std::to_string(kMaxNesting) + " levels");
      if (!value.items && value.count)
        throw Misuse(err::kInvalidCall, "the items of a collection are NULL");
      auto collection = std::make_shared<Collection>();
      for (std::size_t i = 0; i < value.count; ++i)
        collection->Add(ToVariant(value.items[i], depth + 1));
      return Variant(std::move(collection));
    }
    case CORABIND_DOCUMENT:
      return Variant(Check(static_cast<const corabind_document*>(value.document)).document);
    case CORABIND_ELEMENT:
      return Variant(Check(static_cast<const corabind_element*>(value.element)).element);
    default:
      throw Misuse(err::kInvalidCall, "unknown value kind " + std::to_string(value.kind));
  }
}

void Release(corabind_value& value) noexcept {
  switch (value.kind) {
    case CORABIND_TEXT:
      std::free(const_cast<char*>(value.text));
      break;
    case CORABIND_COLLECTION: {
      auto* items = const_cast<corabind_value*>(value.items);
      for (std::size_t i = 0; items && i < value.count; ++i) Release(items[i]);
      std::free(items);
      break;
    }
    case CORABIND_DOCUMENT:
      corabind_document_release(value.document);
      break;
    case CORABIND_ELEMENT:
      corabind_element_release(value.element);
      break;
    default:
      break;
  }
  value = corabind_value{};
}

// Fills `out` (EMPTY on entry) with a value the caller owns. On an exception
// whatever was already handed to `out` is released again.
void FromVariant(const Variant& value, corabind_value& out) {
  struct Undo {
    corabind_value& v;
    bool done = false;
    ~Undo() {
      if (!done) Release(v);
    }
  } undo{out};
  const auto& s = value.storage();
  if (value.IsEmpty()) {
    out.kind = CORABIND_EMPTY;
  } else if (value.IsNull()) {
    out.kind = CORABIND_NULL;
  } else if (const auto* b = std::get_if<Bool>(&s)) {
    out.kind = CORABIND_BOOLEAN;
    out.integer = b->value;
  } else if (const auto* i16 = std::get_if<std::int16_t>(&s)) {
    out.kind = CORABIND_INTEGER;
    out.integer = *i16;
  } else if (const auto* i32 = std::get_if<std::int32_t>(&s)) {
    out.kind = CORABIND_INTEGER;
    out.integer = *i32;
  } else if (const auto* d = std::get_if<double>(&s)) {
    out.kind = CORABIND_DOUBLE;
    out.number = *d;
  } else if (const auto* t = std::get_if<std::u16string>(&s)) {
    const std::string utf8 = ToUtf8(*t);
    out.text = CopyText(utf8);
    out.length = utf8.size();
    out.kind = CORABIND_TEXT;
  } else {
    const auto& ref = std::get<ObjectRef>(s);
    if (const auto collection = ref.Get<Collection>()) {
      const auto& items = collection->items();
      auto* copies =
          static_cast<corabind_value*>(std::calloc(items.size() + 1, sizeof(corabind_value)));
      if (!copies) throw std::bad_alloc();
      out.items = copies;
      out.count = items.size();
      out.kind = CORABIND_COLLECTION;
      for (std::size_t i = 0; i < items.size(); ++i) FromVariant(items[i], copies[i]);
    } else if (auto document = ref.Get<Document>()) {
      out.document = new corabind_document{Tag::kDocument, std::move(document)};
      out.kind = CORABIND_DOCUMENT;
    } else if (auto element = ref.Get<Element>()) {
      out.element = new corabind_element{Tag::kElement, std::move(element)};
      out.kind = CORABIND_ELEMENT;
    } else if (ref.Holds<StyleSheet>()) {
      throw Misuse(err::kTypeMismatch,
                   "the result is a style sheet, which this interface does not carry");
    } else {
      out.kind = CORABIND_NOTHING;
    }
  }
  undo.done = true;
}

InvokeKind ToInvokeKind(std::int32_t kind) {
  switch (kind) {
    case CORABIND_METHOD:
      return InvokeKind::kMethod;
    case CORABIND_PROPERTY_GET:
      return InvokeKind::kPropertyGet;
    case CORABIND_PROPERTY_PUT:
      return InvokeKind::kPropertyPutRef;
    default:
      throw Misuse(err::kInvalidCall, "unknown invoke kind " + std::to_string(kind));
  }
}

std::vector<UiEntry> ParseUi(const char* ui_json) {
  if (!ui_json) return {};
  try {
    return ParseUiScript(nlohmann::json::parse(ui_json));
  } catch (const nlohmann::json::exception& e) {
    throw Misuse(err::kInvalidCall, std::string("ui script: ") + e.what());
  } catch (const std::invalid_argument& e) {
    throw Misuse(err::kInvalidCall, e.what());
  }
}

const html::HtmlDocument& HtmlOf(const corabind_document* document) {
  const auto* html = dynamic_cast<const html::HtmlDocument*>(Check(document).document.get());
  if (!html) throw Misuse(err::kInvalidCall, "the document is not of this library's model");
  return *html;
}

void HandOut(std::shared_ptr<Element> found, corabind_element** element) {
  if (found) *element = new corabind_element{Tag::kElement, std::move(found)};
}

// Registering and unregistering both write the per-user store; a failure
// names it.
corabind_status ChangeRegistration(corabind_error* error, std::int32_t (*change)()) {
  return Guard(error, [&] {
    if (change() != kS_OK) {
      throw Failure(err::kDeviceIo,
                    FromUtf8("The registration store " + RegistrationStore::DefaultPath().string() +
                             " cannot be written"));
    }
  });
}

}  // namespace
}  // namespace corabind::capi

using namespace corabind;
using namespace corabind::capi;

extern "C" {

void corabind_error_release(corabind_error* error) {
  if (!error) return;
  if (error->description != kOutOfMemoryText) std::free(error->description);
  error->description = nullptr;
  error->number = 0;
}

void corabind_text_free(char* text) {
  std::free(text);
}

void corabind_value_release(corabind_value* value) {
  if (value) Release(*value);
}

corabind_status corabind_register(corabind_error* error) {
  return ChangeRegistration(error, DllRegisterServer);
}

corabind_status corabind_unregister(corabind_error* error) {
  return ChangeRegistration(error, DllUnregisterServer);
}

corabind_status corabind_library_open(corabind_library** library, corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(library, "library");
    auto handle = std::make_unique<corabind_library>();
    handle->session = std::make_shared<Session>();
    *library = handle.release();
  });
}

void corabind_library_release(corabind_library* library) {
  if (!library) return;
  library->tag = Tag::kReleased;
  delete library;
}

corabind_status corabind_library_map_drive(corabind_library* library, const char* mapping,
                                           corabind_error* error) {
  return Guard(error, [&] {
    Check(library).session->paths().MapDriveSpec(NeedText(mapping, "the mapping"));
  });
}

corabind_status corabind_library_events(const corabind_library* library, char** events_json,
                                        corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(events_json, "events");
    *events_json = CopyText(EventsToJson(Check(library).session->desktop().events())
                                .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
  });
}

corabind_status corabind_control_create(corabind_library* library, const char* progid_or_clsid,
                                        corabind_control** control, corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(control, "control");
    auto& session = Check(library).session;
    const std::string name = NeedText(progid_or_clsid, "the ProgID");
    const RegistrationStore store;
    const auto record = store.Find(name);
    if (!record) {
      throw Failure(err::kCannotCreateObject,
                    FromUtf8("Cannot create object: " + name + " is not registered in " +
                             store.file().string()));
    }
    // The store names the class; this loaded library serves it.
    void* factory = nullptr;
    if (DllGetClassObject(record->clsid.c_str(), &factory) != kS_OK || !factory) {
      throw Failure(err::kCannotCreateObject,
                    FromUtf8("Cannot create object: class " + record->clsid + " of " + name +
                             " is served by " + record->library + ", not by this library"));
    }
    auto handle = std::make_unique<corabind_control>();
    handle->session = session;
    handle->object = static_cast<ClassFactory*>(factory)->CreateInstance();
    *control = handle.release();
  });
}

void corabind_control_release(corabind_control* control) {
  if (!control) return;
  control->tag = Tag::kReleased;
  delete control;
}

corabind_status corabind_control_call(corabind_control* control, int32_t invoke_kind,
                                      const char* member, const corabind_value* args,
                                      size_t arg_count, const char* ui_json, corabind_value* result,
                                      corabind_error* error) {
  if (result) *result = corabind_value{};
  return Guard(error, [&] {
    auto& handle = Check(control);
    const InvokeKind kind = ToInvokeKind(invoke_kind);
    const std::u16string name = FromUtf8(NeedText(member, "the member name"));
    if (!args && arg_count) throw Misuse(err::kInvalidCall, "the arguments are NULL");
    std::vector<Variant> values;
    values.reserve(arg_count);
    for (std::size_t i = 0; i < arg_count; ++i) values.push_back(ToVariant(args[i], 0));
    std::vector<UiEntry> script = ParseUi(ui_json);

    HeadlessDesktop& desktop = handle.session->desktop();
    desktop.ClearScript();
    desktop.ClearEvents();
    desktop.ClearScriptError();
    desktop.Push(std::move(script));
    Variant value;
    std::optional<Failure> failure;
    try {
      value = handle.object->Invoke(name, kind, values);
    } catch (const Failure& f) {
      failure = f;
    }
    // The user's script must be used up exactly by what opened.
    std::string mismatch;
    if (desktop.script_error()) {
      mismatch = ToUtf8(*desktop.script_error());
    } else if (!desktop.ScriptDone()) {
      mismatch = std::to_string(desktop.Remaining()) + " entry(ies) of the ui script were not used";
    }
    desktop.ClearScript();
    if (!mismatch.empty()) throw Misuse(err::kInvalidCall, "ui script: " + mismatch);
    if (failure) throw *failure;
    if (result) FromVariant(value, *result);
  });
}

corabind_status corabind_document_parse(const char* html, size_t length,
                                        corabind_document** document, corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(document, "document");
    std::shared_ptr<Document> parsed = html::ParseHtml(Bytes(html, length, "the markup"));
    *document = new corabind_document{Tag::kDocument, std::move(parsed)};
  });
}

void corabind_document_release(corabind_document* document) {
  if (!document) return;
  document->tag = Tag::kReleased;
  delete document;
}

corabind_status corabind_document_body(const corabind_document* document,
                                       corabind_element** element, corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(element, "element");
    HandOut(HtmlOf(document).body(), element);
  });
}

corabind_status corabind_document_root(const corabind_document* document,
                                       corabind_element** element, corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(element, "element");
    HandOut(HtmlOf(document).root(), element);
  });
}

corabind_status corabind_document_element_by_id(const corabind_document* document, const char* id,
                                                corabind_element** element, corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(element, "element");
    HandOut(HtmlOf(document).ElementById(FromUtf8(NeedText(id, "the id"))), element);
  });
}

corabind_status corabind_document_element_by_tag(const corabind_document* document, const char* tag,
                                                 size_t index, corabind_element** element,
                                                 corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(element, "element");
    HandOut(HtmlOf(document).ElementByTagName(FromUtf8(NeedText(tag, "the tag name")), index),
            element);
  });
}

corabind_status corabind_element_parse(const char* html, size_t length, corabind_element** element,
                                       corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(element, "element");
    HandOut(html::ParseElement(Bytes(html, length, "the markup")), element);
  });
}

void corabind_element_release(corabind_element* element) {
  if (!element) return;
  element->tag = Tag::kReleased;
  delete element;
}

corabind_status corabind_element_tag_name(const corabind_element* element, char** text,
                                          corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(text, "text");
    *text = CopyText(ToUtf8(Check(element).element->tagName()));
  });
}

corabind_status corabind_element_outer_html(const corabind_element* element, char** text,
                                            corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(text, "text");
    *text = CopyText(ToUtf8(Check(element).element->outerHTML()));
  });
}

corabind_status corabind_compose(const char* request_json, char** message, size_t* length,
                                 corabind_error* error) {
  return Guard(error, [&] {
    NeedOut(message, "message");
    if (!length) throw Misuse(err::kInvalidCall, "the place for the length is NULL");
    *length = 0;
    nlohmann::json request;
    try {
      request = automation::ParseRequest(NeedText(request_json, "the request"));
    } catch (const std::exception& e) {  // not JSON, or nested too deep
      throw Misuse(err::kInvalidCall, std::string("the request is not JSON: ") + e.what());
    }
    // Warnings are for a person at a terminal; a caller learns of missing
    // files by leaving out "allow-missing".
    std::ostringstream warnings;
    std::string bytes;
    try {
      const mail::Mail mail = automation::ComposeJson(
          request, std::filesystem::current_path().string(), {"html", "folder"}, {},
          {warnings, true});
      automation::WriteMessage(mail, [&](std::string_view piece) { bytes.append(piece); });
    } catch (const automation::ComposeError& e) {
      if (e.usage()) throw Misuse(e.number, e.what());
      throw Failure(e.number, FromUtf8(e.what()));
    }
    *message = CopyText(bytes);
    *length = bytes.size();
  });
}

}  // extern "C"
