/* The C interface of libcorabind: the control reached in-process from C or
 * any language that can call C (Python ctypes, Rust, Go, ...).
 *
 * Handles. Every object is an opaque handle: the library (the loaded
 * library's shared state and the desktop its dialogs run on), controls,
 * documents and elements. Each handle a function hands out is released once
 * with its own release function; release functions accept NULL. A control
 * keeps its library alive, an element its document, so handles may be
 * released in any order.
 *
 * Results. Every function that can fail returns a corabind_status and, when
 * `error` is not NULL, fills it on failure (release it with
 * corabind_error_release); on success `error` is left untouched.
 *   CORABIND_OK       done;
 *   CORABIND_FAILURE  the library failed: `error` holds the number and
 *                     description a page's script would receive from a
 *                     member (13 type mismatch, 438 no such member, ...), or
 *                     says why a document, a class or the registration store
 *                     could not be had (429 class not registered, 7 out of
 *                     memory, ...);
 *   CORABIND_MISUSE   the request itself was wrong: a NULL or wrong handle, a
 *                     value the interface cannot carry, a ui script that is
 *                     malformed or does not match what opened. The number
 *                     (5, or 6 for a boolean outside 16 bits) and the
 *                     description say which.
 * No C++ exception leaves the library.
 *
 * Text crosses as UTF-8 with an explicit length in bytes (it may hold NUL);
 * text the library hands out is also NUL-terminated. Invalid UTF-8 reads as
 * U+FFFD. Booleans keep their 16-bit automation form: true is -1, and 1 is a
 * different value that members testing for exact true read as false.
 *
 * Threads. The library holds state shared by all its controls and dialogs,
 * as the component server does: one library handle may be open per process
 * at a time. The library and every handle derived from it must be used by one
 * thread at a time; calls from several threads must be serialised by the
 * caller. Handles may move between threads. Documents and elements belong to
 * no library, but the same rule holds for them: one thread at a time.
 */
#ifndef CORABIND_CORABIND_H
#define CORABIND_CORABIND_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define CORABIND_VERSION_MAJOR 1
#define CORABIND_VERSION_MINOR 0

/* The class the library serves. */
#define CORABIND_PROGID "Corabind.OrvaneControl"
#define CORABIND_CLSID "{C2CA12A6-C3F6-4869-B91C-E4281DC3A531}"

typedef struct corabind_library corabind_library;
typedef struct corabind_control corabind_control;
typedef struct corabind_document corabind_document;
typedef struct corabind_element corabind_element;

typedef enum corabind_status {
  CORABIND_OK = 0,
  CORABIND_FAILURE = 1,
  CORABIND_MISUSE = 2
} corabind_status;

typedef struct corabind_error {
  int32_t number;
  char* description; /* UTF-8, NUL-terminated; owned by the library */
} corabind_error;

void corabind_error_release(corabind_error* error);

/* Frees text the library handed out (events). */
void corabind_text_free(char* text);

typedef enum corabind_kind {
  CORABIND_EMPTY = 0,
  CORABIND_NULL = 1,
  CORABIND_NOTHING = 2, /* an object reference to nothing */
  CORABIND_BOOLEAN = 3, /* `integer`: -1 true, 0 false (any 16-bit value) */
  CORABIND_INTEGER = 4, /* `integer` */
  CORABIND_DOUBLE = 5,  /* `number` */
  CORABIND_TEXT = 6,    /* `text`, `length` bytes of UTF-8 */
  CORABIND_COLLECTION = 7, /* `items`, `count` values */
  CORABIND_DOCUMENT = 8,   /* `document` */
  CORABIND_ELEMENT = 9     /* `element` */
} corabind_kind;

/* A tagged value. Only the fields of its kind are read; set the others to
 * zero. Values the caller builds stay the caller's: the library copies what
 * it needs. A value the library hands out (a result) is the caller's to
 * release with corabind_value_release, which also releases the document and
 * element handles and the collection items inside it. */
typedef struct corabind_value {
  int32_t kind; /* corabind_kind */
  int32_t integer;
  double number;
  const char* text;
  size_t length;
  const struct corabind_value* items;
  size_t count;
  corabind_document* document;
  corabind_element* element;
} corabind_value;

void corabind_value_release(corabind_value* value);

/* Registration: writes (or removes) this library's records in the per-user
 * registration store, $CORABIND_REGISTRY when set, else
 * $XDG_DATA_HOME/corabind/registry.json. */
corabind_status corabind_register(corabind_error* error);
corabind_status corabind_unregister(corabind_error* error);

/* Opens the loaded library for this caller, with a desktop without a screen:
 * dialogs are answered from the ui script given with each call. MISUSE when
 * another library handle (or another host in this process) already holds
 * the library. */
corabind_status corabind_library_open(corabind_library** library, corabind_error* error);
void corabind_library_release(corabind_library* library);

/* Maps a drive letter of the control's Windows-style paths to a host folder:
 * "C=/srv/mail". Z: is the host root by default. */
corabind_status corabind_library_map_drive(corabind_library* library, const char* mapping,
                                           corabind_error* error);

/* What the user saw during the latest call (message boxes, forms with their
 * values after load, file dialogs) as the JSON "events" list of the
 * automation protocol. Free *events_json with corabind_text_free. */
corabind_status corabind_library_events(const corabind_library* library, char** events_json,
                                        corabind_error* error);

/* Creates a control of a registered class, named by ProgID or braced class
 * identifier. Failure 429 when it is not registered in the store. */
corabind_status corabind_control_create(corabind_library* library, const char* progid_or_clsid,
                                        corabind_control** control, corabind_error* error);
void corabind_control_release(corabind_control* control);

typedef enum corabind_invoke_kind {
  CORABIND_METHOD = 0,
  CORABIND_PROPERTY_GET = 1,
  CORABIND_PROPERTY_PUT = 2 /* by reference: args holds the one value */
} corabind_invoke_kind;

/* Calls a member by name (any case) with its positional arguments in
 * interface order; fewer means the optional ones are omitted.
 *
 * `ui_json` (may be NULL) is what the user does in the dialogs the call
 * opens, the automation protocol's "ui" list, for example
 *   [{"form":"TextBoxF","steps":[{"type":"Text1","text":"user"},{"click":"Command1"}]}]
 * It must be used up exactly by what opens; otherwise the call is MISUSE.
 *
 * On CORABIND_OK *result holds the member's value (release it with
 * corabind_value_release). On any other status *result is EMPTY. */
corabind_status corabind_control_call(corabind_control* control, int32_t invoke_kind,
                                      const char* member, const corabind_value* args,
                                      size_t arg_count, const char* ui_json,
                                      corabind_value* result, corabind_error* error);

/* Parses a whole HTML document from UTF-8 markup. */
corabind_status corabind_document_parse(const char* html, size_t length,
                                        corabind_document** document, corabind_error* error);
void corabind_document_release(corabind_document* document);

/* Picks an element; *element is NULL when none matches. */
corabind_status corabind_document_body(const corabind_document* document,
                                       corabind_element** element, corabind_error* error);
corabind_status corabind_document_root(const corabind_document* document,
                                       corabind_element** element, corabind_error* error);
corabind_status corabind_document_element_by_id(const corabind_document* document,
                                                const char* id, corabind_element** element,
                                                corabind_error* error);
/* The index-th (from 0) element with this tag name, in document order. */
corabind_status corabind_document_element_by_tag(const corabind_document* document,
                                                 const char* tag, size_t index,
                                                 corabind_element** element,
                                                 corabind_error* error);
/* The first element of markup parsed as a body's content. */
corabind_status corabind_element_parse(const char* html, size_t length,
                                       corabind_element** element, corabind_error* error);
void corabind_element_release(corabind_element* element);

/* The element's upper-case tag name and its markup. Free with
 * corabind_text_free. */
corabind_status corabind_element_tag_name(const corabind_element* element, char** text,
                                          corabind_error* error);
corabind_status corabind_element_outer_html(const corabind_element* element, char** text,
                                            corabind_error* error);

/* Composes a standard MIME message from a mail request in JSON, the one
 * the automation protocol's "compose" request takes (docs/automation.md):
 * "html" (the page, UTF-8), "folder" (what its relative references are
 * read against; default the working folder) and the command's long option
 * names as keys, for example
 *   {"html":"<p>Hi <img src=\"a.png\">","folder":"/srv/mail","from":"me@example.com",
 *    "to":["you@example.org"],"subject":"Hi","attach":["price list.pdf"]}
 * Needs no library handle. On CORABIND_OK *message holds the message's
 * bytes (DKIM-signed when the request names a key), NUL-terminated, and
 * *length their count; free it with corabind_text_free. A request that is
 * not JSON, has a key it does not know, a value of the wrong type or one the
 * message refuses is CORABIND_MISUSE (5, naming the key); a file that could
 * not be embedded or read is CORABIND_FAILURE (53, ...). Like every other
 * function, one call at a time. */
corabind_status corabind_compose(const char* request_json, char** message, size_t* length,
                                 corabind_error* error);

#ifdef __cplusplus
}
#endif

#endif /* CORABIND_CORABIND_H */
