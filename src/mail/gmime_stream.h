// GMime streams over C++ code: where a message is written to, and what
// stands for a file until then. GMime owns every
// stream made here (drop it with g_object_unref).
#pragma once

#include <gmime/gmime.h>

#include <cstddef>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/read_policy.h"

namespace corabind::mail {

// The content of a file's part until it is written: a few bytes standing
// for the file `index`, which the sink below replaces by the file's base64.
// So GMime lays out the message while each file is read, a chunk at a time,
// only as the message is written, never held whole, and never more than one
// file open at once.
GMimeStream* NewFilePlaceholder(std::size_t index);

// Reads `bytes`, which must outlive the stream: a part's content read where
// it is kept, without the copy a GMime memory stream would make of it.
GMimeStream* NewViewStream(std::string_view bytes);

// Reads the pieces one after the other, each CR LF and each CR alone read
// as LF (mail text lines end in one kind of break; GMime writes it as CR
// LF): a text made of another with some stretches replaced, read without
// being held a second time. The pieces must outlive the stream.
GMimeStream* NewPiecesStream(const std::vector<std::string_view>& pieces);

// Every byte written goes to `sink`, in pieces of about a quarter MiB, each
// LF made CR LF (the message is written with LF line ends), each placeholder
// replaced by the base64 of the file `open_file` opens for it (it throws
// when it cannot). `sink` takes the piece, leaving an empty buffer in its
// place. An exception from either (a file that cannot be read any more, a
// full disk) fails the write and is kept in `error`.
GMimeStream* NewSinkStream(const std::function<void(std::string&)>& sink,
                           const std::function<OpenedFile(std::size_t)>& open_file,
                           std::exception_ptr* error);

}  // namespace corabind::mail
