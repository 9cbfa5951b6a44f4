#include "SortName.h"

#include <QtEndian>

#include <cstring>

namespace korvo::sortkey {

bool lowerAscii(const char* name, int length, char* out)
{
    // Eight bytes at a time: for a byte b below 0x80, b + 0x3F has its top
    // bit set from 'A' on and b + 0x25 from '[' on, without carrying into
    // the next byte; the upper-case letters get 0x20 added.
    const quint64 top = 0x8080808080808080ULL;
    int i = 0;
    for (; i + 8 <= length; i += 8) {
        quint64 word;
        std::memcpy(&word, name + i, sizeof word);
        if (word & top)
            return false;
        const quint64 upper = (word + 0x3F3F3F3F3F3F3F3FULL) & ~(word + 0x2525252525252525ULL) & top;
        word |= upper >> 2;
        std::memcpy(out + i, &word, sizeof word);
    }
    for (; i < length; ++i) {
        const char c = name[i];
        if (uchar(c) >= 0x80)
            return false;
        out[i] = c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c;
    }
    return true;
}

void appendAscii(std::string& keys, const char* name, int length)
{
    const size_t at = keys.size();
    keys.resize(at + size_t(length));
    lowerAscii(name, length, &keys[at]);
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
    if (length >= 8)
        return qFromBigEndian<quint64>(key);
    uchar bytes[8] = {};
    std::memcpy(bytes, key, size_t(qMax(length, 0)));
    return qFromBigEndian<quint64>(bytes);
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
