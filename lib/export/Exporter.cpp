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

XmlExporterSettings defaultXmlSettings()
{
    XmlExporterSettings settings;
    settings.output[Tree] = false;
    settings.output[DirectoryList] = false;
    settings.output[FileList] = false;
    settings.output[TopLevelItemList] = true;
    return settings;
}

} // namespace korvo
