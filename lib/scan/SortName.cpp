#include "SortName.h"

#include <cstring>

namespace korvo::sortkey {

bool isAscii(const char* name, int length)
{
    for (int i = 0; i < length; ++i) {
        if (uchar(name[i]) >= 0x80)
            return false;
    }
    return true;
}

void appendAscii(std::string& keys, const char* name, int length)
{
    const int at = int(keys.size());
    keys.resize(size_t(at + length));
    char* out = &keys[size_t(at)];
    for (int i = 0; i < length; ++i) {
        const char c = name[i];
        out[i] = c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
    }
}

void appendLowered(std::string& keys, const QString& lowered)
{
    for (const QChar c : lowered) {
        const ushort unit = c.unicode();
        if (unit < 0x80) {
            keys += char(unit);
            continue;
        }
        // 0x80 + the top six bits, then the next eight, then the last two:
        // big-endian, so three-byte codes order as their units do, and all
        // of them after every ASCII byte.
        keys += char(0x80 + (unit >> 10));
        keys += char((unit >> 2) & 0xFF);
        keys += char(unit & 0x3);
    }
}

quint64 prefixOf(const char* key, int length)
{
    quint64 prefix = 0;
    for (int i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < length ? uchar(key[i]) : 0);
    return prefix;
}

int compare(const char* a, int lengthA, const char* b, int lengthB)
{
    const int common = qMin(lengthA, lengthB);
    const int order = common > 0 ? std::memcmp(a, b, size_t(common)) : 0;
    if (order != 0)
        return order;
    return lengthA - lengthB;
}

} // namespace korvo::sortkey
