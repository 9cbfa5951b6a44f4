#include "Exporter.h"

namespace korvo {

QString modeElementName(int mode)
{
    switch (mode) {
    case Tree: return QStringLiteral("tree");
    case DirectoryList: return QStringLiteral("directoryList");
    case FileList: return QStringLiteral("fileList");
    case TopLevelItemList: return QStringLiteral("topLevelItemList");
    default: return QString();
    }
}

} // namespace korvo
