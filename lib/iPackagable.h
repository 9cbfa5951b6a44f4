#pragma once

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
};

using PackagablePtr = QSharedPointer<iPackagable>;

} // namespace korvo
