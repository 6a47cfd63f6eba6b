// The folder of the module this code is linked into, where the files that live beside the
// provider are kept.
#pragma once

#include <string>

namespace revivo {

// With its final separator; empty when it cannot be read.
std::u16string ModuleDirectory();

}  // namespace revivo
