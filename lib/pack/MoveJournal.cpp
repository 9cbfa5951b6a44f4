#include "MoveJournal.h"

#include "Platform.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace korvo {

namespace {

// Every path is stored as the hex of its exact bytes: no name can break a
// line or a field.
QByteArray hex(const NativePath& path)
{
    return path.storedBytes().toHex();
}

NativePath fromHex(const QByteArray& text)
{
    return NativePath::fromStoredBytes(QByteArray::fromHex(text));
}

QString failure(const char* step, const NativePath& path, qint64 code)
{
    return QStringLiteral("%1 failed. path:%2 winError:%3 (%4).\r\n")
        .arg(QLatin1String(step), QDir::toNativeSeparators(path.toText()), QString::number(code),
             platform::errorText(code));
}

QByteArray serialized(const MoveJournal& journal)
{
    QByteArray text = "korvo-move 1\nnumber " + QByteArray::number(journal.number) + "\nfolder " +
                      hex(journal.folder) + "\n";
    for (const NativePath& output : journal.outputs)
        text += "output " + hex(output) + "\n";
    for (const MoveJournal::Item& item : journal.items)
        text += "item " + hex(item.source) + " " + hex(item.destination) + " " +
                QByteArray::number(item.identity.volume) + " " + QByteArray::number(item.identity.index) + "\n";
    return text + "end\n";
}

// One line of a journal; false when it is not one the writer makes.
bool readLine(const QByteArray& line, MoveJournal* journal)
{
    const QList<QByteArray> fields = line.split(' ');
    const QByteArray& kind = fields.first();
    bool ok = true;
    if (kind == "korvo-move" && fields.size() == 2)
        return fields.at(1) == "1";
    if (kind == "number" && fields.size() == 2)
        journal->number = fields.at(1).toInt(&ok);
    else if (kind == "folder" && fields.size() == 2)
        journal->folder = fromHex(fields.at(1));
    else if (kind == "output" && fields.size() == 2)
        journal->outputs << fromHex(fields.at(1));
    else if (kind == "item" && fields.size() == 5) {
        MoveJournal::Item item{fromHex(fields.at(1)), fromHex(fields.at(2)), {}};
        bool okIndex = false;
        item.identity.volume = fields.at(3).toULongLong(&ok);
        item.identity.index = fields.at(4).toULongLong(&okIndex);
        ok = ok && okIndex && !item.source.isEmpty() && !item.destination.isEmpty();
        journal->items << item;
    } else if (kind == "end" && fields.size() == 1)
        journal->complete = true;
    else
        return false;
    return ok;
}

} // namespace

QString MoveJournal::fileName(int number)
{
    return QStringLiteral(".%1.korvo-move").arg(number);
}

NativePath MoveJournal::temporaryFor(const NativePath& output)
{
    // ".N.xml.korvo-part": hidden, and never counted as a number.
    const QString name = QStringLiteral(".%1.korvo-part").arg(output.fileName().toText());
    return output.parent().child(name);
}

bool MoveJournal::isJournalName(const QString& name, int* number)
{
    static const QRegularExpression pattern(QStringLiteral("^\\.([1-9][0-9]{0,9})\\.korvo-move$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return false;
    bool ok = false;
    const int value = match.captured(1).toInt(&ok);
    if (number)
        *number = value;
    return ok;
}

bool MoveJournal::write(QString* errorString) const
{
    QFile file;
    qint64 code = 0;
    if (!platform::createNewFile(path, file, &code)) {
        *errorString = failure("Create journal", path, code);
        return false;
    }
    const QByteArray text = serialized(*this);
    if (file.write(text) != text.size() || !platform::syncFile(file, &code)
        || !platform::syncFolder(baseFolder, &code)) {
        if (code == 0)
            code = file.error();
        *errorString = failure("Write journal", path, code);
        platform::removeCreatedFile(path, file, nullptr);
        return false;
    }
    file.close();
    return true;
}

bool MoveJournal::read(const NativePath& path, MoveJournal* journal, QString* errorString)
{
    *journal = MoveJournal();
    journal->path = path;
    journal->baseFolder = path.parent();
    QFile file;
    qint64 code = 0;
    if (platform::openForReading(path, file, &code) != platform::OpenResult::Opened) {
        *errorString = failure("Read journal", path, code);
        return false;
    }
    // A journal names one package's items: a few hundred bytes each. One
    // far larger than any package could need is not one of ours.
    const qint64 limit = qint64(256) << 20;
    if (file.size() > limit) {
        *errorString = QStringLiteral("The journal is too large to be one of korvo's. path:%1.\r\n")
                           .arg(QDir::toNativeSeparators(path.toText()));
        return false;
    }
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty())
            continue;
        if (journal->complete || !readLine(line, journal)) {
            *errorString = QStringLiteral("The journal is not one of korvo's. path:%1.\r\n")
                               .arg(QDir::toNativeSeparators(path.toText()));
            return false;
        }
    }
    return true;
}

bool MoveJournal::remove(QString* errorString) const
{
    qint64 code = 0;
    if (!platform::removeFile(path)) {
        *errorString = failure("Remove journal", path, 0);
        return false;
    }
    // The removal is not synced on its own: lost to a power cut, it leaves
    // the journal of a package that is whole (moved or put back), which
    // recover then puts back whole, or finds already back. The next
    // journal's sync of this folder makes it last in any case.
    Q_UNUSED(code)
    return true;
}

bool MoveJournal::findIn(const NativePath& baseFolder, QStringList* names, QString* errorString)
{
    names->clear();
    QVector<platform::FolderEntry> entries;
    qint64 code = 0;
    if (!platform::listFolder(baseFolder, entries, &code)) {
        if (platform::isNotFound(code))
            return true;
        *errorString = failure("List folder", baseFolder, code);
        return false;
    }
    for (const platform::FolderEntry& entry : qAsConst(entries)) {
        if (isJournalName(entry.name.toText(), nullptr))
            *names << entry.name.toText();
    }
    names->sort();
    return true;
}

QString MoveJournal::refusalLines(const QString& baseFolderText, const QStringList& names)
{
    // The base folder text doubles its separator where there is no label;
    // the journal's path is shown clean.
    const QString base = QDir::cleanPath(QDir::fromNativeSeparators(baseFolderText));
    QString lines;
    for (const QString& name : names) {
        int number = 0;
        isJournalName(name, &number);
        lines += QStringLiteral("パッケージ%1の移動が中断されたままです: %2\r\n")
                     .arg(number)
                     .arg(QDir::toNativeSeparators(base + QLatin1Char('/') + name));
    }
    return lines + QStringLiteral("Run 'korvo-cli recover \"%1\"' to undo it before moving again.\r\n")
                       .arg(QDir::toNativeSeparators(base));
}

} // namespace korvo
