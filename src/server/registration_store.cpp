#include "server/registration_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/failure.h"
#include "core/text.h"

namespace corabind {

namespace {

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

[[noreturn]] void StoreFailure(const std::filesystem::path& file, const std::string& what) {
  throw Failure(err::kDeviceIo, FromUtf8("Registration store " + file.string() + ": " + what));
}

}  // namespace

RegistrationStore::RegistrationStore(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path RegistrationStore::DefaultPath() {
  if (const char* explicit_file = std::getenv("CORABIND_REGISTRY");
      explicit_file && *explicit_file) {
    return explicit_file;
  }
  std::filesystem::path data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
    data = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    data = std::filesystem::path(home) / ".local" / "share";
  } else {
    data = std::filesystem::temp_directory_path();
  }
  return data / "corabind" / "registry.json";
}

std::vector<ClassRecord> RegistrationStore::Load() const {
  std::error_code ec;
  if (!std::filesystem::exists(file_, ec)) return {};
  std::ifstream in(file_, std::ios::binary);
  if (!in) StoreFailure(file_, "cannot be opened for reading");
  std::vector<ClassRecord> out;
  try {
    const auto doc = nlohmann::json::parse(in);
    for (const auto& r : doc.at("classes")) {
      out.push_back(
          ClassRecord{r.at("clsid").get<std::string>(), r.at("progid").get<std::string>(),
                      r.at("library").get<std::string>(), r.at("typelib").get<std::string>(),
                      r.at("version").get<std::string>(), r.at("locale").get<std::uint32_t>()});
    }
  } catch (const nlohmann::json::exception& e) {
    StoreFailure(file_, std::string("is not a valid registration file: ") + e.what());
  }
  return out;
}

void RegistrationStore::Save(const std::vector<ClassRecord>& records) const {
  nlohmann::json doc;
  doc["classes"] = nlohmann::json::array();
  for (const auto& r : records) {
    doc["classes"].push_back({{"clsid", r.clsid},
                              {"progid", r.progid},
                              {"library", r.library},
                              {"typelib", r.typelib},
                              {"version", r.version},
                              {"locale", r.locale}});
  }
  const std::string text = doc.dump(2) + "\n";
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  if (ec) StoreFailure(file_, "folder cannot be created: " + ec.message());
  // Write beside the store and rename over it, so a reader never sees half
  // a file and a failed write keeps the old records.
  std::string tmp = (file_.parent_path() / ".registry.XXXXXX").string();
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) StoreFailure(file_, "temporary file cannot be created");
  bool ok = true;
  for (std::size_t done = 0; ok && done < text.size();) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      ok = errno == EINTR;
      continue;
    }
    done += static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(tmp.c_str(), file_.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    StoreFailure(file_, "cannot be written");
  }
}

void RegistrationStore::Add(const ClassRecord& record) const {
  auto records = Load();
  std::erase_if(records, [&](const ClassRecord& r) {
    return Lower(r.clsid) == Lower(record.clsid) || Lower(r.progid) == Lower(record.progid);
  });
  records.push_back(record);
  Save(records);
}

std::size_t RegistrationStore::Remove(const std::string& clsid) const {
  auto records = Load();
  const auto removed =
      std::erase_if(records, [&](const ClassRecord& r) { return Lower(r.clsid) == Lower(clsid); });
  if (removed != 0) Save(records);
  return removed;
}

std::optional<ClassRecord> RegistrationStore::Find(const std::string& name) const {
  for (const auto& r : Load()) {
    if (Lower(r.progid) == Lower(name) || Lower(r.clsid) == Lower(name)) return r;
  }
  return std::nullopt;
}

}  // namespace corabind
