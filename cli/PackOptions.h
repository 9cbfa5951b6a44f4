#pragma once

#include "Scan.h"

#include "Package.h"
#include "PackageOrder.h"
#include "Packer.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

namespace korvo::cli {

// The options korvo-cli pack and move share, read and checked.
struct PackOptions
{
    PackageOrder order;
    PackSort sort = Assorted;
    QString sortName;
    bool json = false;
    QString folder; // the one positional argument
};

// The parser of those options; a command adds its own before parsing.
struct PackOptionParser
{
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QString()};
    QCommandLineOption order{QStringLiteral("order"), QString(), QStringLiteral("NAME")};
    QCommandLineOption limit{QStringLiteral("limit"), QString(), QStringLiteral("SIZE")};
    QCommandLineOption name{QStringLiteral("name"), QString(), QStringLiteral("NAME")};
    QCommandLineOption sort{QStringLiteral("sort"), QString(), QStringLiteral("MODE")};
    QCommandLineOption json{QStringLiteral("json"), QString()};

    PackOptionParser();

    // Empty on success, else the usage message.
    QString read(PackOptions& options) const;
};

// The help lines of the shared options.
extern const char* const PackOptionsHelp;

// Scans the options' folder and packs its top-level items; false, after
// saying why on stderr, when the scan failed or was cancelled.
bool scanAndPack(const QString& command, const PackOptions& options, ScanResult& scan, QList<PackagePtr>& packages);

// An item's name as the commands show it: a folder with a trailing slash.
QString shownName(const PackagablePtr& item);

// The items' names as a JSON array, each by its exact name: a byte that is
// not text goes out as the escape \udc80 to \udcff (the form Python's
// "surrogateescape" reads back into the byte), so that two names shown alike
// stay apart.
QString jsonNames(const QList<PackagablePtr>& items);

} // namespace korvo::cli
