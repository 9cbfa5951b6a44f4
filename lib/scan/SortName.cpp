#include "SortName.h"

namespace korvo {

namespace {

inline ushort foldAscii(ushort unit)
{
    return unit >= 'A' && unit <= 'Z' ? ushort(unit + ('a' - 'A')) : unit;
}

bool isAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

} // namespace

SortName SortName::of(const QString& name)
{
    SortName key;
    key.name = name;
    key.asciiOnly = isAscii(name);
    if (!key.asciiOnly)
        key.folded = name.toLower();
    return key;
}

bool nameLess(const SortName& a, const SortName& b)
{
    const QString& textA = a.asciiOnly ? a.name : a.folded;
    const QString& textB = b.asciiOnly ? b.name : b.folded;
    // constData() rather than utf16(): the comparison runs n log n times
    // in a big folder, and utf16() is a call that checks for raw data.
    const ushort* unitsA = reinterpret_cast<const ushort*>(textA.constData());
    const ushort* unitsB = reinterpret_cast<const ushort*>(textB.constData());
    const int common = qMin(textA.size(), textB.size());
    for (int i = 0; i < common; ++i) {
        // An ASCII name in lower case is the name with A-Z lowered, whatever
        // the other name is.
        const ushort unitA = a.asciiOnly ? foldAscii(unitsA[i]) : unitsA[i];
        const ushort unitB = b.asciiOnly ? foldAscii(unitsB[i]) : unitsB[i];
        if (unitA != unitB)
            return unitA < unitB;
    }
    if (textA.size() != textB.size())
        return textA.size() < textB.size();
    return a.name < b.name;
}

} // namespace korvo
