#include "control/type_library.h"

namespace corabind {

const TypeLibraryInfo& CorabindTypeLibrary() {
  static const TypeLibraryInfo lib{
      kLibraryName,
      kLibraryId,
      kVersionMajor,
      kVersionMinor,
      kLocale,
      InterfaceInfo{kInterfaceName, kInterfaceId, true, true, Members()},
      // The control raises no events; the source interface exists so that
      // hosts which look for one find it.
      InterfaceInfo{kEventInterfaceName, kEventInterfaceId, false, false, {}},
      CoClassInfo{kClassName, kClassId, true, kInterfaceName, kEventInterfaceName},
  };
  return lib;
}

}  // namespace corabind
