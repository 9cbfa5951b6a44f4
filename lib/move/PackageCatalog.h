#pragma once

#include "NativePath.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace korvo {

// One file of a package, as its listing or manifest names it.
struct CatalogEntry
{
    NativePath packageFolder; // base folder / N (it need not exist any more)
    int number = 0;
    QByteArray relativePath;  // names joined by "/" (a manifest's exact bytes; a listing's UTF-8)
    qint64 size = -1;         // from the listing; -1 when only a manifest names the file
    bool fromListing = false;
};

// Answers "which package holds my file" from the listings (N.xml) and
// manifests (N.sha256) written beside package folders, without the package
// folders themselves, which may be on discs by now. Synchronous, on the
// caller's thread; reads files through exact paths and follows no link.
namespace PackageCatalog {

// True for the relative path of a file that is looked for.
using Matcher = std::function<bool(const QByteArray& relativePath)>;

// A matcher for a glob (*, ?, [...]) against the file's name or its whole
// path, or for a regular expression found anywhere in the path; both
// ignore case. False with the reason when the pattern is not valid.
bool makeMatcher(const QString& pattern, bool regularExpression, Matcher* matcher, QString* errorString);

// Every file that `matches` below the given folders, package by package in
// path order: from the listing N.xml where there is one (with sizes), else
// from the manifest N.sha256. A folder beside its listing or manifest is
// not entered: the listing speaks for it. What cannot be listed or read is
// named in `problems`, and the search goes on.
QVector<CatalogEntry> search(const QList<NativePath>& folders, const Matcher& matches, QStringList* problems);

// The files a listing names, as the XML exporter writes them (its "tree"
// section, else its "fileList" section; fields as attributes or elements).
bool readListing(const NativePath& listing, QVector<CatalogEntry>& entries, QString* errorString);

} // namespace PackageCatalog
} // namespace korvo
