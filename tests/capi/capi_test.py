#!/usr/bin/env python3
"""Drives the installed libcorabind.so through its C interface only, with ctypes:
registers and creates a control, parses a document, composes a message,
builds a form field with a scripted user, reads failures, releases everything.

usage: capi_test.py PREFIX   (the tree `cmake --install --prefix PREFIX` made)

With CORABIND_PRELOAD naming the sanitizers' run-time (a sanitizer build of
the library), the test restarts its own interpreter binary (not a wrapper
script that may stand in for it) with the run-time preloaded and Python's own
allocator bypassed, so the leak checker sees and scans every block.
"""
import ctypes
import email
import email.policy
import glob
import json
import os
import shutil
import sys
import tempfile
from ctypes import POINTER, byref, c_char_p, c_double, c_int32, c_size_t, c_void_p

OK, FAILURE, MISUSE = 0, 1, 2
EMPTY, NULL, NOTHING, BOOLEAN, INTEGER, DOUBLE, TEXT, COLLECTION, DOCUMENT, ELEMENT = range(10)
METHOD, PROPERTY_GET = 0, 1


class Error(ctypes.Structure):
    _fields_ = [("number", c_int32), ("description", c_char_p)]


class Value(ctypes.Structure):
    pass


Value._fields_ = [("kind", c_int32), ("integer", c_int32), ("number", c_double),
                  ("text", c_void_p), ("length", c_size_t), ("items", POINTER(Value)),
                  ("count", c_size_t), ("document", c_void_p), ("element", c_void_p)]


def load(prefix):
    (path,) = glob.glob(os.path.join(prefix, "lib*", "**", "libcorabind.so.1"), recursive=True)
    lib = ctypes.CDLL(path)
    out = POINTER(c_void_p)
    signatures = {
        "corabind_register": [POINTER(Error)],
        "corabind_unregister": [POINTER(Error)],
        "corabind_library_open": [out, POINTER(Error)],
        "corabind_library_map_drive": [c_void_p, c_char_p, POINTER(Error)],
        "corabind_library_events": [c_void_p, out, POINTER(Error)],
        "corabind_control_create": [c_void_p, c_char_p, out, POINTER(Error)],
        "corabind_control_call": [c_void_p, c_int32, c_char_p, POINTER(Value), c_size_t,
                                  c_char_p, POINTER(Value), POINTER(Error)],
        "corabind_document_parse": [c_char_p, c_size_t, out, POINTER(Error)],
        "corabind_document_body": [c_void_p, out, POINTER(Error)],
        "corabind_document_element_by_id": [c_void_p, c_char_p, out, POINTER(Error)],
        "corabind_document_element_by_tag": [c_void_p, c_char_p, c_size_t, out, POINTER(Error)],
        "corabind_element_tag_name": [c_void_p, out, POINTER(Error)],
        "corabind_compose": [c_char_p, out, POINTER(c_size_t), POINTER(Error)],
    }
    for name, argtypes in signatures.items():
        getattr(lib, name).argtypes = argtypes
        getattr(lib, name).restype = c_int32
    for name in ("library", "control", "document", "element"):
        getattr(lib, "corabind_%s_release" % name).argtypes = [c_void_p]
    lib.corabind_value_release.argtypes = [POINTER(Value)]
    lib.corabind_error_release.argtypes = [POINTER(Error)]
    lib.corabind_text_free.argtypes = [c_void_p]
    lib.DllCanUnloadNow.restype = c_int32
    return lib


class Api:
    """Calls that raise on a status other than the expected one."""

    def __init__(self, lib):
        self.lib = lib

    def __call__(self, name, *args, expect=OK):
        error = Error()
        status = getattr(self.lib, "corabind_" + name)(*args, byref(error))
        failure = (error.number, (error.description or b"").decode())
        if status != OK:
            self.lib.corabind_error_release(byref(error))
        if status != expect:
            raise AssertionError("%s: status %d, %r" % (name, status, failure))
        return failure

    def handle(self, name, *args):
        out = c_void_p()
        self(name, *args, byref(out))
        return out

    def text(self, name, *args):
        out = c_void_p()
        self(name, *args, byref(out))
        text = ctypes.string_at(out).decode()
        self.lib.corabind_text_free(out)
        return text


def text_value(text, keep):
    data = text.encode()
    keep.append(data)
    return Value(kind=TEXT, text=ctypes.cast(c_char_p(data), c_void_p), length=len(data))


def read(value):
    """The Python form of a value the library handed out."""
    kind = value.kind
    if kind == TEXT:
        return ctypes.string_at(value.text, value.length).decode()
    if kind == COLLECTION:
        return [read(value.items[i]) for i in range(value.count)]
    if kind in (BOOLEAN, INTEGER):
        return value.integer
    return {EMPTY: "empty", NULL: None, NOTHING: "nothing"}.get(kind, kind)


def call(api, control, member, args=(), ui=None, kind=METHOD, expect=OK):
    array = (Value * max(len(args), 1))(*args)
    result = Value()
    failure = api("control_call", control, kind, member.encode(), array, len(args),
                  json.dumps(ui).encode() if ui is not None else None, byref(result),
                  expect=expect)
    value = read(result)
    api.lib.corabind_value_release(byref(result))
    assert result.kind == EMPTY, "a released value is reset"
    return value if expect == OK else failure


def main():
    runtime = os.environ.pop("CORABIND_PRELOAD", None)
    if runtime:
        os.environ.update(LD_PRELOAD=runtime, PYTHONMALLOC="malloc")
        os.execv(sys.executable, [sys.executable] + sys.argv)
    lib = load(sys.argv[1])
    api = Api(lib)
    work = tempfile.mkdtemp(prefix="corabind-capi-")
    os.environ["CORABIND_REGISTRY"] = os.path.join(work, "registry.json")
    with open(os.path.join(work, "photo.gif"), "wb") as f:
        f.write(b"GIF89a")
    keep = []

    library = api.handle("library_open")
    number, description = api("library_open", byref(c_void_p()), expect=MISUSE)
    assert number == 5 and "already open" in description, description
    number, description = api("control_create", library, b"Corabind.OrvaneControl",
                              byref(c_void_p()), expect=FAILURE)
    assert number == 429 and "not registered" in description, description
    api("register")
    api("library_map_drive", library, ("C=" + work).encode())
    control = api.handle("control_create", library, b"corabind.orvanecontrol")
    by_clsid = api.handle("control_create", library, b"{c2ca12a6-c3f6-4869-b91c-e4281dc3a531}")

    html = b"<body><img src=photo.gif><form><input id=pw type=password maxlength=8></form></body>"
    document = api.handle("document_parse", html, len(html))
    body = api.handle("document_body", document)
    by_id = api.handle("document_element_by_id", document, b"pw")
    second_tag = api.handle("document_element_by_tag", document, b"img", 1)
    assert not second_tag.value, "a missing element is NULL, not a failure"
    assert api.text("element_tag_name", by_id) == "INPUT"

    # Mail composition: the one image becomes a base64 part.
    message = call(api, control, "GetImages", [
        text_value(html.decode(), keep), Value(kind=ELEMENT, element=body),
        text_value("C:\\", keep), Value(kind=DOCUMENT, document=document),
        Value(kind=BOOLEAN, integer=0)])
    assert "Content-ID: <photo.gif>\r\n\r\nR0lGODlh\r\n" in message, message
    assert call(api, control, "imageValues", kind=PROPERTY_GET) == ["C:\\photo.gif"]

    # A form field built by a scripted user; what the dialog showed is an event.
    ui = [{"form": "TextBoxF", "steps": [{"type": "Text1", "text": "user"},
                                         {"click": "Command1"}]}]
    field = call(api, by_clsid, "SetFormField", [text_value("TEXT", keep)], ui)
    assert field == '<input type="text" name = "user" >', field
    events = json.loads(api.text("library_events", library))
    assert [e.get("form") for e in events] == ["TextBoxF"], events

    cases = [  # member, arguments, ui script, status, number, words in the description
        ("NoSuchMember", [], None, FAILURE, 438, ""),
        ("SetFormField", [text_value("TEXT", keep)], [{"form": "CheckBoxF", "steps": []}],
         MISUSE, 5, "ui script"),
        ("SetFormField", [text_value("TEXT", keep)], [{"form": 1}], MISUSE, 5, "must be a string"),
        ("ModifyFormField", [Value(kind=BOOLEAN, integer=40000)], None, MISUSE, 6, "16 bits"),
        ("ModifyFormField", [Value(kind=ELEMENT)], None, MISUSE, 5, "NULL"),
        ("ModifyFormField", [Value(kind=42)], None, MISUSE, 5, "kind 42"),
    ]
    for member, args, script, status, number, words in cases:
        got, description = call(api, control, member, args, script, expect=status)
        assert got == number and words in description and description, (member, description)

    for handle, kind in [(second_tag, "element"), (by_id, "element"), (body, "element"),
                         (document, "document"), (control, "control"), (by_clsid, "control")]:
        getattr(lib, "corabind_%s_release" % kind)(handle)
    assert lib.DllCanUnloadNow() == 0, "every control is gone"
    lib.corabind_library_release(library)
    lib.corabind_library_release(api.handle("library_open"))  # the library can be opened again

    # A mail request as automate's compose takes it: read back by Python's
    # own reader, the attachment whole; a wrong request names its key.
    request = {"html": "<p>Hi <img src=photo.gif></p>", "folder": work, "from": "kim@example.com",
               "to": ["lee@example.org"], "subject": "Hi", "attach": [os.path.join(work, "photo.gif")]}
    out, length = c_void_p(), c_size_t()
    api("compose", json.dumps(request).encode(), byref(out), byref(length))
    raw = ctypes.string_at(out, length.value)
    lib.corabind_text_free(out)
    mail = email.message_from_bytes(raw, policy=email.policy.default)
    assert not mail.defects and mail["To"] == "lee@example.org", raw
    assert [p.get_content() for p in mail.iter_attachments()] == [b"GIF89a"], raw
    for wrong, number, words in [({"to": 5}, 5, '"to"'), ({"tu": []}, 5, '"tu"'),
                                 ({"subject": "a\nb"}, 5, "--subject"),
                                 ({"attach": ["/nowhere/x"]}, 53, "x")]:
        status = MISUSE if number == 5 else FAILURE
        got, description = api("compose", json.dumps(dict(request, **wrong)).encode(),
                               byref(out), byref(length), expect=status)
        assert got == number and words in description and not out.value, (wrong, description)
    api("unregister")
    shutil.rmtree(work)
    print("capi: every step passed")


if __name__ == "__main__":
    main()
