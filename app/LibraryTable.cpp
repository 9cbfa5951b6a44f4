#include "LibraryTable.h"

#include "ImageFormat.h"

#include <QVector>
#include <QtGlobal>

namespace korvo {

namespace {

LibraryInfo entry(const QString& name, const QString& version, const QString& homePage, const QString& licence,
                  const QString& licenceUrl, const QString& copyright)
{
    return LibraryInfo{name, version, homePage, licence, licenceUrl, copyright};
}

// The GCC runtime's DLLs ship with the Windows programs, from the compiler
// that built them.
void addWindowsRuntime(QVector<LibraryInfo>& table)
{
#if defined(Q_OS_WIN) && defined(__GNUC__)
    const QString gcc = QStringLiteral("%1.%2.%3").arg(__GNUC__).arg(__GNUC_MINOR__).arg(__GNUC_PATCHLEVEL__);
    const QString exception = QStringLiteral("GPL v3 with the GCC Runtime Library Exception 3.1");
    const QString exceptionUrl = QStringLiteral("https://www.gnu.org/licenses/gcc-exception-3.1.html");
    const QString fsf = QStringLiteral("Copyright (C) Free Software Foundation, Inc.");
    table << entry(QStringLiteral("libstdc++"), gcc, QStringLiteral("https://gcc.gnu.org/"), exception, exceptionUrl, fsf)
          << entry(QStringLiteral("libgcc_s"), gcc, QStringLiteral("https://gcc.gnu.org/"), exception, exceptionUrl, fsf);
#ifdef __MINGW64_VERSION_STR
    table << entry(QStringLiteral("libwinpthread"), QStringLiteral(__MINGW64_VERSION_STR),
                   QStringLiteral("https://www.mingw-w64.org/"), QStringLiteral("MIT"),
                   QStringLiteral("https://sourceforge.net/p/mingw-w64/mingw-w64/ci/master/tree/mingw-w64-libraries/"
                                  "winpthreads/COPYING"),
                   QStringLiteral("Copyright (c) 2011 mingw-w64 project"));
#endif
#else
    Q_UNUSED(table)
#endif
}

// The libraries the program runs with: the toolkit first, then those of
// the images, then (Windows) the compiler's runtime shipped beside it.
const QVector<LibraryInfo>& table()
{
    static const QVector<LibraryInfo> libraries = [] {
        // The toolkit the program runs on, whichever Qt 5 release that is.
        QVector<LibraryInfo> list{entry(QStringLiteral("Qt"), QString::fromLatin1(qVersion()),
                                        QStringLiteral("https://www.qt.io/"), QStringLiteral("LGPL v3"),
                                        QStringLiteral("https://doc.qt.io/qt-5/lgpl.html"),
                                        QStringLiteral("Copyright (C) 2020 The Qt Company Ltd and other contributors."))};
        if (ImageFormats::available())
            list << entry(QStringLiteral("libarchive"), ImageFormats::libraryVersion(),
                          QStringLiteral("https://www.libarchive.org/"), QStringLiteral("BSD 2-Clause"),
                          QStringLiteral("https://github.com/libarchive/libarchive/blob/master/COPYING"),
                          QStringLiteral("Copyright (c) 2003-2018 Tim Kientzle and other contributors."));
        if (!ImageFormats::zlibVersion().isEmpty())
            list << entry(QStringLiteral("zlib"), ImageFormats::zlibVersion(), QStringLiteral("https://zlib.net/"),
                          QStringLiteral("zlib License"), QStringLiteral("https://zlib.net/zlib_license.html"),
                          QStringLiteral("Copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler"));
        addWindowsRuntime(list);
        return list;
    }();
    return libraries;
}

} // namespace

int libraryCount()
{
    return table().size();
}

LibraryInfo libraryInfo(int index)
{
    return index >= 0 && index < table().size() ? table().at(index) : LibraryInfo();
}

QString libraryName(int index)
{
    return libraryInfo(index).name;
}

} // namespace korvo
