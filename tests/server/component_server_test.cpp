// The round trip a page's host makes: register the built library, find the
// class by its ProgID, load the library with dlopen and create a control
// through its class factory.
#include "server/component_server.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "control/type_library.h"
#include "core/collection.h"
#include "core/failure.h"
#include "core/text.h"
#include "platform/posix/temp_folder.h"
#include "support/expect_failure.h"
#include "support/object_host.h"

namespace corabind {
namespace {

class ScopedRegistry {
 public:
  ScopedRegistry() { ::setenv("CORABIND_REGISTRY", file_.c_str(), 1); }
  ~ScopedRegistry() { ::unsetenv("CORABIND_REGISTRY"); }
  const std::filesystem::path& file() const { return file_; }

 private:
  testing::TempFolder dir_;
  const std::filesystem::path file_ = dir_.path() / "registry.json";
};

using EntryPoint = std::int32_t (*)();

TEST(ComponentServerTest, RegisterCreateThroughDlopenReleaseAndUnregister) {
  ScopedRegistry registry;
  const RegistrationStore store(registry.file());
  {
    auto server = LoadedServer::Load(CORABIND_SHARED_LIBRARY);
    void* handle = ::dlopen(CORABIND_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr);
    auto reg = reinterpret_cast<EntryPoint>(::dlsym(handle, "DllRegisterServer"));
    ASSERT_NE(reg, nullptr);
    ASSERT_EQ(reg(), kS_OK);
    ::dlclose(handle);
  }
  const auto record = store.Find("corabind.orvanecontrol");
  ASSERT_TRUE(record.has_value());
  EXPECT_EQ(record->clsid, ToUtf8(kClassId));
  EXPECT_EQ(record->typelib, ToUtf8(kLibraryId));
  EXPECT_EQ(record->version, "1.0");
  EXPECT_EQ(record->locale, 1033u);
  EXPECT_EQ(record->library, std::filesystem::canonical(CORABIND_SHARED_LIBRARY).string());

  auto created = CreateObject("Corabind.OrvaneControl", store);
  auto server = created.server;
  EXPECT_FALSE(server->CanUnloadNow());
  std::vector<Variant> args = {Variant(u"k"), Variant(u"v")};
  created.object->Call(u"InsertImageInfo", args);
  const Variant keys = created.object->Invoke(u"imageKeys", InvokeKind::kPropertyGet, {});
  EXPECT_EQ(keys.ToCollection()->Count(), 1);
  EXPECT_EQ(created.object->TypeInfo().coclass.id, kClassId);

  created.factory->LockServer(true);
  created.object.reset();
  EXPECT_FALSE(server->CanUnloadNow()) << "a factory lock keeps the library";
  created.factory->LockServer(false);
  EXPECT_TRUE(server->CanUnloadNow());

  auto unreg = reinterpret_cast<EntryPoint>(
      ::dlsym(::dlopen(CORABIND_SHARED_LIBRARY, RTLD_NOW | RTLD_NOLOAD), "DllUnregisterServer"));
  ASSERT_NE(unreg, nullptr);
  EXPECT_EQ(unreg(), kS_OK);
  EXPECT_FALSE(store.Find("Corabind.OrvaneControl").has_value());
  testing::ExpectFailure(err::kCannotCreateObject,
                         [&] { CreateObject("Corabind.OrvaneControl", store); });
}

}  // namespace
}  // namespace corabind
