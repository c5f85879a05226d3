#include "serve/request_reader.h"

#include <algorithm>
#include <charconv>

namespace corabind::serve {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kHeadEnd = "\r\n\r\n";
// A chunk's size line: the size and any extension. Real ones are a few bytes.
constexpr std::size_t kMaxChunkLine = 1024;
constexpr std::size_t kMaxHeaders = 100;

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x | 0x20) == (y | 0x20);
         });
}

bool IsTokenChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool IsToken(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), IsTokenChar);
}

// Field values may hold tabs, visible characters and any byte from 0x80;
// never another control character, which a header line must not carry.
bool IsFieldValue(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u == '\t' || (u >= 0x20 && u != 0x7f);
  });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Whether the comma-separated list `list` holds `token` (any case).
bool HasToken(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    if (SameName(Trim(list.substr(0, comma)), token)) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

std::string_view RequestHead::Header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (SameName(key, name)) return value;
  return {};
}

bool RequestHead::Has(std::string_view name) const {
  return std::any_of(headers.begin(), headers.end(),
                     [&](const auto& h) { return SameName(h.first, name); });
}

RequestReader::Step RequestReader::Fail(int status) {
  error_ = status;
  keep_alive_ = false;
  pending_.clear();
  body_.clear();
  return Step::kError;
}

RequestReader::Step RequestReader::Read(std::string_view bytes) {
  if (error_) return Step::kError;
  pending_.append(bytes);
  if (phase_ == Phase::kHead) {
    // Empty lines before a request are tolerated, as clients may send one
    // after a body.
    while (pending_.compare(0, kLineEnd.size(), kLineEnd) == 0) {
      pending_.erase(0, kLineEnd.size());
      scanned_ = 0;
    }
    // Looked for only in what is new, so a client sending a byte at a time
    // costs no more than one sending the head at once.
    const std::size_t end =
        pending_.find(kHeadEnd, scanned_ < kHeadEnd.size() ? 0 : scanned_ - kHeadEnd.size() + 1);
    scanned_ = pending_.size();
    // Refused as soon as no head within the limit can end in what is kept.
    if (end == std::string::npos)
      return pending_.size() >= max_head_ + kHeadEnd.size() ? Fail(431) : Step::kMore;
    if (end > max_head_) return Fail(431);
    scanned_ = 0;
    const std::string head = pending_.substr(0, end + kLineEnd.size());
    pending_.erase(0, end + kHeadEnd.size());
    return ParseHead(head);
  }
  return phase_ == Phase::kJudged ? Step::kHead : Advance();
}

// `head` is the request line and the fields, each ended by CR LF.
RequestReader::Step RequestReader::ParseHead(std::string_view head) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < head.size();) {
    const std::size_t end = head.find(kLineEnd, at);
    lines.push_back(head.substr(at, end - at));
    at = end + kLineEnd.size();
  }
  if (lines.size() > kMaxHeaders + 1) return Fail(431);

  // method SP target SP version, each part free of spaces and controls.
  const std::string_view line = lines.front();
  const std::size_t first = line.find(' ');
  const std::size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
  if (second == std::string_view::npos || line.find(' ', second + 1) != std::string_view::npos)
    return Fail(400);
  const std::string_view method = line.substr(0, first);
  const std::string_view target = line.substr(first + 1, second - first - 1);
  const std::string_view version = line.substr(second + 1);
  if (!IsToken(method) || target.empty() ||
      !std::all_of(target.begin(), target.end(), [](char c) { return c > 0x20 && c < 0x7f; }))
    return Fail(400);
  if (version == "HTTP/1.0") {
    head_.http10 = true;
  } else if (version != "HTTP/1.1") {
    return Fail(version.rfind("HTTP/", 0) == 0 ? 505 : 400);
  }
  head_.method = method;
  head_.target = target;

  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view field = lines[i];
    const std::size_t colon = field.find(':');
    // A line folded onto the one before, a space before the colon, a bare
    // CR or LF inside: each is read differently by different servers, so
    // none is read at all.
    if (colon == std::string_view::npos || !IsToken(field.substr(0, colon))) return Fail(400);
    const std::string_view value = Trim(field.substr(colon + 1));
    if (!IsFieldValue(value)) return Fail(400);
    head_.headers.emplace_back(field.substr(0, colon), value);
  }

  std::size_t hosts = 0, lengths = 0;
  std::size_t length = 0;
  for (const auto& [name, value] : head_.headers) {
    if (SameName(name, "Host")) {
      ++hosts;
    } else if (SameName(name, "Content-Length")) {
      std::size_t n = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
      if (value.empty() || ec != std::errc() || end != value.data() + value.size() ||
          (lengths++ && n != length))
        return Fail(400);
      length = n;
    } else if (SameName(name, "Transfer-Encoding")) {
      if (chunked_ || head_.http10) return Fail(400);
      if (!SameName(Trim(value), "chunked")) return Fail(501);
      chunked_ = true;
    } else if (SameName(name, "Expect")) {
      if (!SameName(value, "100-continue")) return Fail(417);
      expect_continue_ = true;
    }
  }
  // Two hosts, or a length beside chunks, are how requests are smuggled past
  // a check: refused whole.
  if (hosts > 1 || (chunked_ && lengths)) return Fail(400);
  const std::string_view connection = head_.Header("Connection");
  keep_alive_ = head_.http10 ? HasToken(connection, "keep-alive") : !HasToken(connection, "close");
  if (length > max_body_) return Fail(413);
  remaining_ = length;
  if (!chunked_ && length == 0) expect_continue_ = false;
  phase_ = Phase::kJudged;
  return Step::kHead;
}

void RequestReader::Continue() {
  if (phase_ != Phase::kJudged) return;
  phase_ = chunked_ ? Phase::kChunkSize : Phase::kLength;
  if (!chunked_) body_.reserve(remaining_);
}

RequestReader::Step RequestReader::Advance() {
  for (;;) {
    switch (phase_) {
      case Phase::kHead:
      case Phase::kJudged:
        return Step::kMore;
      case Phase::kDone:
        return Step::kDone;
      case Phase::kLength:
      case Phase::kChunkData: {
        const std::size_t n = std::min(remaining_, pending_.size());
        body_.append(pending_, 0, n);
        pending_.erase(0, n);
        remaining_ -= n;
        if (remaining_ > 0) return Step::kMore;
        phase_ = phase_ == Phase::kLength ? Phase::kDone : Phase::kChunkEnd;
        break;
      }
      case Phase::kChunkSize: {
        const std::size_t end = pending_.find(kLineEnd);
        if (end == std::string::npos)
          return pending_.size() > kMaxChunkLine + 1 ? Fail(400) : Step::kMore;
        if (end > kMaxChunkLine) return Fail(400);
        const std::string_view line(pending_.data(), end);
        std::size_t size = 0;
        const auto [stop, ec] = std::from_chars(line.data(), line.data() + line.size(), size, 16);
        if (stop == line.data() || ec != std::errc()) return Fail(ec == std::errc() ? 400 : 413);
        const std::string_view rest(stop, line.data() + line.size() - stop);
        if (!rest.empty() && (rest.front() != ';' || !IsFieldValue(rest))) return Fail(400);
        pending_.erase(0, end + kLineEnd.size());
        // Counted before it is read: a chunk that would pass the limit is
        // refused on its size line.
        if (size > max_body_ - body_.size()) return Fail(413);
        remaining_ = size;
        phase_ = size == 0 ? Phase::kTrailer : Phase::kChunkData;
        break;
      }
      case Phase::kChunkEnd:
        if (pending_.size() < kLineEnd.size()) return Step::kMore;
        if (pending_.compare(0, kLineEnd.size(), kLineEnd) != 0) return Fail(400);
        pending_.erase(0, kLineEnd.size());
        phase_ = Phase::kChunkSize;
        break;
      case Phase::kTrailer: {
        const std::size_t end = pending_.find(kLineEnd);
        if (end == std::string::npos)
          return trailer_ + pending_.size() > max_head_ ? Fail(431) : Step::kMore;
        trailer_ += end + kLineEnd.size();
        if (trailer_ > max_head_) return Fail(431);
        if (end > 0 && !IsFieldValue(std::string_view(pending_.data(), end))) return Fail(400);
        pending_.erase(0, end + kLineEnd.size());
        if (end == 0) phase_ = Phase::kDone;
        break;
      }
    }
  }
}

void RequestReader::Next() {
  if (phase_ != Phase::kDone) return;
  head_ = RequestHead{};
  body_.clear();
  body_.shrink_to_fit();
  phase_ = Phase::kHead;
  remaining_ = trailer_ = scanned_ = 0;
  chunked_ = expect_continue_ = false;
  keep_alive_ = true;
}

}  // namespace corabind::serve
