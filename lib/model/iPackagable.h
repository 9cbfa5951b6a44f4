#pragma once

#include "NativePath.h"

#include <QSharedPointer>
#include <QString>

namespace korvo {

// One item that packing weighs and moving carries: a file on its own or a
// folder with everything below it.
class iPackagable
{
public:
    virtual ~iPackagable() = default;
    virtual QString absoluteFilePath() const = 0;
    virtual QString fileName() const = 0;
    virtual qint64 totalSize() const = 0;
    virtual qint64 totalSizeOnDisk() const = 0;

    // The exact path and name of the entry on disk, for every operation on
    // it: the texts above are for showing and may differ (a Linux name that
    // is not valid UTF-8 shows U+FFFD where its bytes are invalid).
    virtual NativePath nativeFilePath() const { return NativePath::fromText(absoluteFilePath()); }
    virtual NativePath nativeFileName() const { return NativePath::fromText(fileName()); }
};

using PackagablePtr = QSharedPointer<iPackagable>;

} // namespace korvo
