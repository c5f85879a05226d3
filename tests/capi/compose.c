/* A C program built against the installed library with pkg-config: composes
 * the message of the page in FOLDER/page.htm (registering the library first,
 * in $CORABIND_REGISTRY) and prints it. */
#include <corabind/corabind.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int Check(corabind_status status, corabind_error* error, const char* what) {
  if (status == CORABIND_OK) return 1;
  fprintf(stderr, "%s: %d %s\n", what, (int)error->number, error->description);
  corabind_error_release(error);
  return 0;
}

static char* ReadFile(const char* path, size_t* length) {
  FILE* file = fopen(path, "rb");
  if (!file) return NULL;
  char* text = malloc(1 << 16);
  *length = text ? fread(text, 1, 1 << 16, file) : 0;
  fclose(file);
  return text;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  char path[4096], drive[4096];
  snprintf(path, sizeof path, "%s/page.htm", argv[1]);
  snprintf(drive, sizeof drive, "C=%s", argv[1]);
  size_t length = 0;
  char* html = ReadFile(path, &length);
  if (!html) return 1;

  corabind_error error = {0, NULL};
  corabind_library* library = NULL;
  corabind_control* control = NULL;
  corabind_document* document = NULL;
  corabind_element* body = NULL;
  corabind_value message = {0};
  int ok = Check(corabind_register(&error), &error, "register") &&
           Check(corabind_library_open(&library, &error), &error, "open") &&
           Check(corabind_library_map_drive(library, drive, &error), &error, "drive") &&
           Check(corabind_control_create(library, CORABIND_PROGID, &control, &error), &error,
                 "create") &&
           Check(corabind_document_parse(html, length, &document, &error), &error, "parse") &&
           Check(corabind_document_body(document, &body, &error), &error, "body");
  if (ok) {
    corabind_value args[5];
    memset(args, 0, sizeof args);
    args[0].kind = CORABIND_TEXT;
    args[0].text = html;
    args[0].length = length;
    args[1].kind = CORABIND_ELEMENT;
    args[1].element = body;
    args[2].kind = CORABIND_TEXT;
    args[2].text = "C:\\";
    args[2].length = 3;
    args[3].kind = CORABIND_DOCUMENT;
    args[3].document = document;
    args[4].kind = CORABIND_BOOLEAN;
    args[4].integer = 0;
    ok = Check(corabind_control_call(control, CORABIND_METHOD, "GetImages", args, 5, NULL, &message,
                                     &error),
               &error, "GetImages") &&
         message.kind == CORABIND_TEXT;
    if (ok) fwrite(message.text, 1, message.length, stdout);
  }
  corabind_value_release(&message);
  corabind_element_release(body);
  corabind_document_release(document);
  corabind_control_release(control);
  corabind_library_release(library);
  free(html);
  return ok ? 0 : 1;
}
