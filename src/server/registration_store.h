// The per-user registration store: which library serves which class. A JSON
// file, $CORABIND_REGISTRY when set, else
// $XDG_DATA_HOME/corabind/registry.json (~/.local/share when unset).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace corabind {

struct ClassRecord {
  std::string clsid;
  std::string progid;
  std::string library;  // host path of the shared library
  std::string typelib;
  std::string version;  // "1.0"
  std::uint32_t locale = 0;
  bool operator==(const ClassRecord&) const = default;
};

class RegistrationStore {
 public:
  explicit RegistrationStore(std::filesystem::path file = DefaultPath());
  static std::filesystem::path DefaultPath();

  const std::filesystem::path& file() const { return file_; }
  // Throws Failure when the file exists but cannot be read or parsed.
  std::vector<ClassRecord> Load() const;
  // Replaces any record with the same clsid or progid. Written atomically.
  void Add(const ClassRecord& record) const;
  // Removes the records with this clsid; returns how many went.
  std::size_t Remove(const std::string& clsid) const;
  // Lookup by ProgID or by braced class id, ignoring case.
  std::optional<ClassRecord> Find(const std::string& progid_or_clsid) const;

 private:
  void Save(const std::vector<ClassRecord>& records) const;
  std::filesystem::path file_;
};

}  // namespace corabind
