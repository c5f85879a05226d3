// GMime streams over C++ code: a file read only while GMime copies it into
// the message, and a sink the message is written into. GMime owns every
// stream made here (drop it with g_object_unref).
#pragma once

#include <gmime/gmime.h>

#include <exception>
#include <filesystem>
#include <functional>
#include <string_view>

namespace corabind::mail {

// Opened on the first read and closed at its end, so a message of ten
// thousand parts never holds more than one file open. A file that cannot be
// read fails the write; `error` says why.
GMimeStream* NewLazyFileStream(const std::filesystem::path& path, std::exception_ptr* error);

// Every byte written goes to `sink`. An exception from `sink` fails the
// write and is kept in `error`.
GMimeStream* NewSinkStream(const std::function<void(std::string_view)>& sink,
                           std::exception_ptr* error);

}  // namespace corabind::mail
