// A C++ program built against the installed library with find_package:
// composes the message of FOLDER/page.htm and prints it.
#include <corabind/corabind.h>

#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

void Check(corabind_status status, corabind_error& error) {
  if (status == CORABIND_OK) return;
  const std::string what = std::to_string(error.number) + " " + error.description;
  corabind_error_release(&error);
  throw std::runtime_error(what);
}

corabind_value Text(const std::string& text) {
  corabind_value v{};
  v.kind = CORABIND_TEXT;
  v.text = text.data();
  v.length = text.size();
  return v;
}

}  // namespace

int main(int argc, char** argv) try {
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  std::stringstream html;
  html << std::ifstream(folder + "/page.htm").rdbuf();
  const std::string markup = html.str();

  corabind_error error{};
  corabind_library* raw_library = nullptr;
  Check(corabind_register(&error), error);
  Check(corabind_library_open(&raw_library, &error), error);
  std::unique_ptr<corabind_library, void (*)(corabind_library*)> library(raw_library,
                                                                         corabind_library_release);
  Check(corabind_library_map_drive(library.get(), ("C=" + folder).c_str(), &error), error);
  corabind_control* raw_control = nullptr;
  Check(corabind_control_create(library.get(), CORABIND_PROGID, &raw_control, &error), error);
  std::unique_ptr<corabind_control, void (*)(corabind_control*)> control(raw_control,
                                                                         corabind_control_release);
  corabind_document* raw_document = nullptr;
  Check(corabind_document_parse(markup.data(), markup.size(), &raw_document, &error), error);
  std::unique_ptr<corabind_document, void (*)(corabind_document*)> document(
      raw_document, corabind_document_release);
  corabind_element* raw_body = nullptr;
  Check(corabind_document_body(document.get(), &raw_body, &error), error);
  std::unique_ptr<corabind_element, void (*)(corabind_element*)> body(raw_body,
                                                                      corabind_element_release);

  const std::string base = "C:\\";
  corabind_value args[5] = {Text(markup), {}, Text(base), {}, {}};
  args[1].kind = CORABIND_ELEMENT;
  args[1].element = body.get();
  args[3].kind = CORABIND_DOCUMENT;
  args[3].document = document.get();
  args[4].kind = CORABIND_BOOLEAN;
  corabind_value message{};
  Check(corabind_control_call(control.get(), CORABIND_METHOD, "GetImages", args, 5, nullptr,
                              &message, &error),
        error);
  std::cout.write(message.text, static_cast<std::streamsize>(message.length));
  corabind_value_release(&message);
  return 0;
} catch (const std::exception& e) {
  std::cerr << e.what() << '\n';
  return 1;
}
