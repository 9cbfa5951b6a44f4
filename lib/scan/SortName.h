#pragma once

#include <QString>

namespace korvo {

// Name order of a listing: by the names in lower case (QString::toLower),
// compared code unit by code unit, and names equal in lower case by their
// exact text, so that every run and every platform lists them alike.
// `folded` is the name in lower case; an all-ASCII name may pass itself with
// `asciiOnly` true and is then lowered on the fly.
struct SortName
{
    QString name;
    QString folded;
    bool asciiOnly = false;

    static SortName of(const QString& name);
};
bool nameLess(const SortName& a, const SortName& b);

} // namespace korvo
