#include "PathOrder.h"

#include <algorithm>

namespace korvo {

bool pathLess(const char* a, size_t aLength, const char* b, size_t bLength)
{
    const size_t common = std::min(aLength, bLength);
    const auto differ = std::mismatch(a, a + common, b);
    if (differ.first == a + common)
        return aLength < bLength;
    const int x = *differ.first == '/' ? -1 : int(static_cast<unsigned char>(*differ.first));
    const int y = *differ.second == '/' ? -1 : int(static_cast<unsigned char>(*differ.second));
    return x < y;
}

} // namespace korvo
