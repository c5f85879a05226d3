// The in-process component server: the four entry points a host resolves in
// the loaded libcorabind.so. Results are HRESULT-style codes.
#pragma once

#include <cstdint>

namespace corabind {
inline constexpr std::int32_t kS_OK = 0;
inline constexpr std::int32_t kS_FALSE = 1;
inline constexpr std::int32_t kClassNotAvailable = static_cast<std::int32_t>(0x80040111);
inline constexpr std::int32_t kSelfRegClassError = static_cast<std::int32_t>(0x80040201);
inline constexpr std::int32_t kInvalidArg = static_cast<std::int32_t>(0x80070057);
}  // namespace corabind

extern "C" {
// Writes this library's records (class, ProgID, library path, type library,
// version, locale) into the per-user registration store.
std::int32_t DllRegisterServer();
// Removes exactly the records DllRegisterServer writes.
std::int32_t DllUnregisterServer();
// `clsid` is the class identifier in its braced text form (ASCII, any case).
// On success *factory is a corabind::ClassFactory* owned by the library.
std::int32_t DllGetClassObject(const char* clsid, void** factory);
// S_OK when no control and no factory lock is alive, else S_FALSE.
std::int32_t DllCanUnloadNow();
}
