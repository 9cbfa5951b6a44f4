// Writes the icon at the sizes of the hicolor theme, made from the one
// 256-pixel icon at build time: IconSizes SOURCE.png OUTDIR SIZE...
// gives OUTDIR/SIZExSIZE/apps/korvo.png for each SIZE.

#include <QDir>
#include <QImage>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QTextStream err(stderr);
    if (arguments.size() < 3) {
        err << "usage: IconSizes SOURCE.png OUTDIR SIZE...\n";
        return 2;
    }
    const QImage source(arguments.takeFirst());
    const QString outdir = arguments.takeFirst();
    if (source.isNull()) {
        err << "IconSizes: cannot read the source icon\n";
        return 1;
    }
    for (const QString& text : arguments) {
        const int size = text.toInt();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(outdir).arg(size);
        const QImage scaled = source.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        if (size <= 0 || !QDir().mkpath(folder) || !scaled.save(folder + QStringLiteral("/korvo.png"))) {
            err << "IconSizes: cannot write the icon of size " << text << '\n';
            return 1;
        }
    }
    return 0;
}
