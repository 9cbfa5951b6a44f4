// Scans a folder with one listing method and prints how long it took:
//   bench_listing DIR [native|qdir]
// For comparing the platform listing with QDir/QFileInfo on the same tree
// (run under /usr/bin/time -v for the peak memory).

#include "Enumerate.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QTextStream out(stdout);
    if (arguments.size() < 2 || arguments.size() > 3
        || (arguments.size() == 3 && arguments.at(2) != QLatin1String("native")
            && arguments.at(2) != QLatin1String("qdir"))) {
        QTextStream(stderr) << "Usage: bench_listing DIR [native|qdir]\n";
        return 2;
    }
    korvo::EnumerateOptions options;
    if (arguments.size() == 3 && arguments.at(2) == QLatin1String("qdir"))
        options.method = korvo::ListingMethod::QtFileInfo;
    std::atomic<bool> cancel{false};
    korvo::EnumerateProgress progress;
    const korvo::DirectoryNodePtr root =
        korvo::enumerateTree(QDir(arguments.at(1)), cancel, progress, nullptr, options);
    if (!root)
        return 1;
    out << (options.method == korvo::ListingMethod::Native ? "native" : "qdir") << ": " << progress.fileCount
        << " files, " << progress.directoryCount << " folders, listing " << progress.listingSeconds
        << " s, totalling " << progress.totallingSeconds << " s\n";
    return 0;
}
