#include "NativeArguments.h"

#include <QCoreApplication>
#include <QDir>

namespace korvo::cli {

namespace {

QVector<QByteArray>& kept()
{
    static QVector<QByteArray> arguments;
    return arguments;
}

} // namespace

void keepNativeArguments(int argc, char* argv[])
{
    kept().clear();
    for (int i = 0; i < argc; ++i)
        kept().append(QByteArray(argv[i]));
}

QVector<NativePath> nativeArguments()
{
    QVector<NativePath> arguments;
#ifdef _WIN32
    // Windows gives the command line as UTF-16, which Qt keeps exactly.
    const QStringList all = QCoreApplication::arguments();
    for (int i = 2; i < all.size(); ++i)
        arguments.append(NativePath::fromText(QDir::fromNativeSeparators(all.at(i))));
#else
    for (int i = 2; i < kept().size(); ++i)
        arguments.append(NativePath::fromBytes(kept().at(i)));
#endif
    return arguments;
}

} // namespace korvo::cli
