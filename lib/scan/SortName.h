#pragma once

#include <QString>

#include <string>

namespace korvo::sortkey {

// Name order of a listing: by the names in lower case (QString::toLower),
// compared code unit by code unit, and names equal in lower case by their
// exact text, so that every run and every platform lists them alike.
//
// A name's sort key is made once: bytes that, compared as unsigned bytes
// with the shorter first where one begins the other, give the order of the
// lower-case texts. An ASCII name's key is its bytes lowered; every other
// UTF-16 unit takes three bytes starting at 0x80 or above, so that units
// keep their order against ASCII and against each other. No key byte that
// starts a unit is 0, so a key padded with zero bytes sorts before every
// longer key it begins.

// Writes the key of an ASCII name to `out`, which has room for `length`
// bytes; false, with `out` partly written, when the name is not ASCII.
bool lowerAscii(const char* name, int length, char* out);
// Appends the key of an ASCII name.
void appendAscii(std::string& keys, const char* name, int length);
// Appends the key of a name's text already in lower case.
void appendLowered(std::string& keys, const QString& lowered);
// The first eight bytes of a key as one number, zero-padded: numbers that
// differ order their keys.
quint64 prefixOf(const char* key, int length);
// The order of two whole keys: below, equal or above zero.
int compare(const char* a, int lengthA, const char* b, int lengthB);

} // namespace korvo::sortkey
