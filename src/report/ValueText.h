#pragma once
// The text form of a database value, as the version gate and the table check read it.

#include <string>

#include "jet/Variant.h"

namespace mivotra {

// The text form of a database value (the version, table names).
std::string VariantToText(const Variant& value);

}  // namespace mivotra
