// The form field job: the members SetFormField and ModifyFormField, which
// run the field dialogs of the library modally.
#pragma once

#include <memory>
#include <string>

#include "core/library.h"
#include "core/variant.h"

namespace corabind::fields {

std::u16string SetFormField(Library& library, const std::u16string& flag);
std::u16string ModifyFormField(Library& library, const std::shared_ptr<Element>& htmlsrc,
                               VariantBool debugging);

}  // namespace corabind::fields
