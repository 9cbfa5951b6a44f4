#pragma once

#include <cstddef>

namespace korvo {

// Orders relative paths (names joined by "/") as a sorted walk meets them
// on Linux: name by name, each compared as bytes, so that "a/b" comes
// before "a-c" ("/" ranks below every byte a name can hold).
bool pathLess(const char* a, size_t aLength, const char* b, size_t bLength);

} // namespace korvo
