#include "MoveJournal.h"

#include "MoveTexts.h"
#include "PackageFiles.h"
#include "Platform.h"
#include "RelativePath.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

namespace korvo {

namespace {

// Every name and path is stored as the hex of its exact bytes: no name can
// break a line or a field.
QByteArray hex(const NativePath& path)
{
    return path.storedBytes().toHex();
}

// The longest line read: a source folder's path, hex-encoded, fits with
// room to spare.
const qint64 MaxLineLength = 64 * 1024;

QByteArray serialized(const MoveJournal& journal)
{
    // Version 2 where every item is a top-level one, as before splits.
    bool nested = false;
    for (const MoveJournal::Item& item : journal.items)
        nested = nested || item.levels.size() > 1;
    QByteArray text = QByteArray("korvo-move ") + (nested ? "3" : "2") + "\nnumber " +
                      QByteArray::number(journal.number) + "\n";
    if (journal.hasFolder)
        text += "folder\n";
    if (!journal.items.isEmpty())
        text += "source " + hex(journal.sourceFolder) + "\n";
    for (const NativePath& output : journal.outputs)
        text += "output " + hex(output) + "\n";
    for (const MoveJournal::Item& item : journal.items)
        text += "item " + RelativePath::stored(item.levels).toHex() + " " + QByteArray::number(item.identity.volume) + " " +
                QByteArray::number(item.identity.index) + "\n";
    return text + "end\n";
}

// A name of one level: not empty, no separator, no NUL, not "." or "..".
bool isPlainName(const QByteArray& name)
{
    if (name.isEmpty() || name == "." || name == ".." || name.contains('/') || name.contains('\0'))
        return false;
#ifdef _WIN32
    if (name.contains('\\') || name.contains(':'))
        return false;
#endif
    return true;
}

// Hex that decodes to exactly these bytes (QByteArray::fromHex skips what
// is not hex). No name or path korvo writes holds a NUL byte: one cut there
// would be another name.
bool fromHex(const QByteArray& text, QByteArray* bytes)
{
    static const QRegularExpression pattern(QStringLiteral("^(?:[0-9a-f]{2})*$"));
    if (!pattern.match(QLatin1String(text)).hasMatch())
        return false;
    *bytes = QByteArray::fromHex(text);
    return !bytes->contains('\0');
}

bool toNumber(const QByteArray& text, quint64* value)
{
    bool ok = false;
    *value = text.toULongLong(&ok, 10);
    return ok && !text.startsWith('+') && !text.startsWith('-');
}

// Reads a journal's lines and checks each against the rules; the first
// broken rule ends the reading.
class JournalReader
{
public:
    JournalReader(const NativePath& basePath, MoveJournal* journal) : base_(basePath), journal_(journal) {}

    bool take(const QByteArray& line);
    bool finish();
    const QString& rule() const { return rule_; }

private:
    bool refuse(const QString& rule)
    {
        rule_ = rule;
        return false;
    }
    bool takeHeader(const QList<QByteArray>& fields);
    bool takeNumber(const QList<QByteArray>& fields);
    bool takeFolder(const QList<QByteArray>& fields);
    bool takeSource(const QList<QByteArray>& fields);
    bool takeOutput(const QList<QByteArray>& fields);
    bool takeItem(const QList<QByteArray>& fields);
    bool addItem(const QByteArray& name, const QByteArray& volume, const QByteArray& index);
    bool setSource(const NativePath& folder);

    NativePath base_;
    MoveJournal* journal_;
    int version_ = 0;
    bool numberSeen_ = false;
    bool folderSeen_ = false;
    bool sourceSeen_ = false;
    bool ended_ = false;
    QSet<QByteArray> itemNames_;
    QString rule_;
};

bool JournalReader::take(const QByteArray& line)
{
    if (ended_)
        return refuse(QStringLiteral("a line follows its end"));
    const QList<QByteArray> fields = line.split(' ');
    const QByteArray& kind = fields.first();
    if (version_ == 0)
        return takeHeader(fields);
    if (kind == "number")
        return takeNumber(fields);
    if (!numberSeen_)
        return refuse(QStringLiteral("its package number is not its second line"));
    if (kind == "folder")
        return takeFolder(fields);
    if (kind == "source" && version_ >= 2)
        return takeSource(fields);
    if (kind == "output")
        return takeOutput(fields);
    if (kind == "item")
        return takeItem(fields);
    if (kind == "end" && fields.size() == 1) {
        ended_ = true;
        return true;
    }
    return refuse(QStringLiteral("a line is not one korvo writes"));
}

bool JournalReader::takeHeader(const QList<QByteArray>& fields)
{
    if (fields.size() == 2 && fields.first() == "korvo-move"
        && (fields.at(1) == "1" || fields.at(1) == "2" || fields.at(1) == "3")) {
        version_ = fields.at(1).toInt();
        return true;
    }
    return refuse(QStringLiteral("it does not begin as korvo's journals do"));
}

bool JournalReader::takeNumber(const QList<QByteArray>& fields)
{
    quint64 number = 0;
    if (numberSeen_ || fields.size() != 2 || !toNumber(fields.at(1), &number) || number != quint64(journal_->number))
        return refuse(QStringLiteral("its package number is not the one in its name"));
    numberSeen_ = true;
    return true;
}

bool JournalReader::takeFolder(const QList<QByteArray>& fields)
{
    if (folderSeen_)
        return refuse(QStringLiteral("it names its package folder twice"));
    folderSeen_ = true;
    // Version 1 named the folder by its whole path (empty for an image).
    QByteArray path;
    if (version_ == 1 && (fields.size() != 2 || !fromHex(fields.at(1), &path)))
        return refuse(QStringLiteral("a line is not one korvo writes"));
    if (version_ >= 2 && fields.size() != 1)
        return refuse(QStringLiteral("a line is not one korvo writes"));
    if (version_ == 1 && path.isEmpty())
        return true;
    const NativePath expected = base_.child(QString::number(journal_->number));
    if (version_ == 1 && NativePath::fromStoredBytes(path) != expected)
        return refuse(QStringLiteral("its package folder is not %1").arg(MoveTexts::shown(expected)));
    journal_->hasFolder = true;
    return true;
}

bool JournalReader::setSource(const NativePath& folder)
{
    if (folder.isEmpty() || !folder.isAbsolute() || folder.cleaned() != folder || folder.storedBytes().contains('\0'))
        return refuse(QStringLiteral("the folder its items came from is not a plain absolute path"));
    if (sourceSeen_ && folder != journal_->sourceFolder)
        return refuse(QStringLiteral("its items come from more than one folder"));
    sourceSeen_ = true;
    journal_->sourceFolder = folder;
    return true;
}

bool JournalReader::takeSource(const QList<QByteArray>& fields)
{
    QByteArray path;
    if (sourceSeen_ || fields.size() != 2 || !fromHex(fields.at(1), &path))
        return refuse(QStringLiteral("it names the folder its items came from twice, or not as korvo does"));
    return setSource(NativePath::fromStoredBytes(path));
}

bool JournalReader::takeOutput(const QList<QByteArray>& fields)
{
    QByteArray bytes;
    if (fields.size() != 2 || !fromHex(fields.at(1), &bytes))
        return refuse(QStringLiteral("a line is not one korvo writes"));
    NativePath name = NativePath::fromStoredBytes(bytes);
    if (version_ == 1) {
        // Version 1 named each output by its whole path.
        if (name.parent() != base_)
            return refuse(QStringLiteral("it names a file outside its base folder: %1").arg(MoveTexts::shown(name)));
        name = name.fileName();
    }
    QStringList allowed = PackageFiles::besideNames(journal_->number);
    for (const QString& sibling : PackageFiles::besideNames(journal_->number))
        allowed << PackageFiles::temporaryFor(NativePath::fromText(sibling)).toText();
    // Compared as text, and back: a name whose bytes are not text is none of them.
    if (!allowed.contains(name.toText()) || NativePath::fromText(name.toText()) != name)
        return refuse(QStringLiteral("it names a file that is not one kept beside package %1: %2")
                          .arg(QString::number(journal_->number), MoveTexts::shown(name)));
    journal_->outputs << name;
    return true;
}

bool JournalReader::takeItem(const QList<QByteArray>& fields)
{
    if (!journal_->hasFolder)
        return refuse(QStringLiteral("it names items but no package folder"));
    if (version_ >= 2) {
        QByteArray name;
        if (!sourceSeen_ || fields.size() != 4 || !fromHex(fields.at(1), &name))
            return refuse(QStringLiteral("an item line is not one korvo writes"));
        return addItem(name, fields.at(2), fields.at(3));
    }
    // Version 1: the item's old and new paths, each whole.
    QByteArray source;
    QByteArray destination;
    if (fields.size() != 5 || !fromHex(fields.at(1), &source) || !fromHex(fields.at(2), &destination))
        return refuse(QStringLiteral("an item line is not one korvo writes"));
    const NativePath from = NativePath::fromStoredBytes(source);
    const NativePath to = NativePath::fromStoredBytes(destination);
    const NativePath folder = base_.child(QString::number(journal_->number));
    if (to.parent() != folder || to.fileName() != from.fileName())
        return refuse(QStringLiteral("an item goes elsewhere than into its package folder: %1")
                          .arg(MoveTexts::shown(to)));
    return setSource(from.parent()) && addItem(from.fileName().storedBytes(), fields.at(3), fields.at(4));
}

bool JournalReader::addItem(const QByteArray& name, const QByteArray& volume, const QByteArray& index)
{
    MoveJournal::Item item;
    // Up to version 2 an item is one plain name; from 3 on a path of them.
    if (version_ < 3 && !isPlainName(name))
        return refuse(QStringLiteral("an item's name is not a single plain name"));
    if (!RelativePath::fromStored(name, &item.levels))
        return refuse(QStringLiteral("an item's path is not made of plain names"));
    if (!toNumber(volume, &item.identity.volume) || !toNumber(index, &item.identity.index))
        return refuse(QStringLiteral("an item's identity is not one korvo writes"));
    if (itemNames_.contains(name))
        return refuse(QStringLiteral("an item is named twice"));
    itemNames_.insert(name);
    journal_->items << item;
    return true;
}

bool JournalReader::finish()
{
    if (!ended_)
        return refuse(QStringLiteral("it is cut short: it has no end line"));
    // No item lies inside another: putting one back would move the other.
    for (const QByteArray& name : qAsConst(itemNames_)) {
        for (int slash = name.indexOf('/'); slash > 0; slash = name.indexOf('/', slash + 1)) {
            if (itemNames_.contains(name.left(slash)))
                return refuse(QStringLiteral("an item lies inside another item"));
        }
    }
    return true;
}

// Reads the lines of an open journal into the reader; false with the
// rule or reason.
bool readLines(QFile& file, JournalReader& reader, QString* rule)
{
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(MaxLineLength + 1);
        if (line.isEmpty() && file.error() != QFileDevice::NoError) {
            *rule = QStringLiteral("it cannot be read: %1").arg(file.errorString());
            return false;
        }
        if (!line.endsWith('\n')) {
            *rule = line.size() > MaxLineLength ? QStringLiteral("a line is longer than korvo writes")
                                                : QStringLiteral("it is cut short in the middle of a line");
            return false;
        }
        if (!reader.take(line.chopped(1))) {
            *rule = reader.rule();
            return false;
        }
    }
    if (!reader.finish()) {
        *rule = reader.rule();
        return false;
    }
    return true;
}

} // namespace

bool MoveJournal::write(const platform::FolderHandle& base, QString* errorString) const
{
    const NativePath name = PackageFiles::journalName(number);
    const NativePath temporary = PackageFiles::temporaryFor(name);
    QFile file;
    qint64 code = 0;
    if (!base.createFile(temporary, file, &code)) {
        *errorString = MoveTexts::failure("Create journal", base.path().child(temporary), code) + "\r\n";
        return false;
    }
    const char* step = "Write journal";
    bool written = platform::writeAll(file, serialized(*this), &code) && platform::syncFile(file, &code);
    file.close();
    if (written) {
        step = "Create journal";
        written = base.rename(temporary, name, &code);
    }
    if (!written) {
        *errorString = MoveTexts::failure(step, base.path().child(name), code) + "\r\n";
        base.removeFile(temporary, nullptr);
        return false;
    }
    // The journal's name lasts before any item moves.
    if (!base.sync(&code)) {
        *errorString = MoveTexts::failure("Sync folder", base.path(), code) + "\r\n";
        base.removeFile(name, nullptr);
        return false;
    }
    return true;
}

bool MoveJournal::remove(const platform::FolderHandle& base, QString* errorString) const
{
    // The removal is not synced on its own: lost to a power cut, it leaves
    // the journal of a package that is whole (moved or put back), which
    // recover then puts back whole, or finds already back. The next
    // journal's sync of this folder makes it last in any case.
    qint64 code = 0;
    if (base.removeFile(PackageFiles::journalName(number), &code))
        return true;
    *errorString = MoveTexts::failure("Remove journal", base.path().child(PackageFiles::journalName(number)), code) + "\r\n";
    return false;
}

MoveJournal::ReadResult MoveJournal::read(const platform::FolderHandle& base, const NativePath& name,
                                          MoveJournal* journal, QString* rule)
{
    *journal = MoveJournal();
    if (!PackageFiles::isJournalName(name.toText(), &journal->number) || NativePath::fromText(name.toText()) != name) {
        *rule = QStringLiteral("its name is not a journal's");
        return ReadResult::Refused;
    }
    QFile file;
    bool owned = false;
    qint64 code = 0;
    switch (base.openFile(name, file, &owned, &code)) {
    case platform::OpenResult::Opened:
        break;
    case platform::OpenResult::Link:
        *rule = QStringLiteral("it is a link, not a file korvo wrote");
        return ReadResult::Refused;
    case platform::OpenResult::NotAFile:
        *rule = QStringLiteral("it is not a regular file (a folder, FIFO, socket or device)");
        return ReadResult::Refused;
    case platform::OpenResult::Missing:
    case platform::OpenResult::Failed:
        *rule = MoveTexts::failure("Read journal", base.path().child(name), code);
        return ReadResult::Failed;
    }
    if (!owned) {
        *rule = QStringLiteral("it belongs to another user");
        return ReadResult::Refused;
    }
    if (file.size() > MaxSize) {
        *rule = QStringLiteral("it is larger than any journal korvo writes");
        return ReadResult::Refused;
    }
    JournalReader reader(base.path(), journal);
    return readLines(file, reader, rule) ? ReadResult::Read : ReadResult::Refused;
}

bool MoveJournal::findIn(const platform::FolderHandle& base, QStringList* journals, QStringList* unfinished,
                         QString* errorString)
{
    journals->clear();
    unfinished->clear();
    QVector<platform::FolderEntry> entries;
    qint64 code = 0;
    if (!base.list(entries, &code)) {
        *errorString = MoveTexts::failure("List folder", base.path(), code) + "\r\n";
        return false;
    }
    // Every entry of a journal's name counts, whatever it is: one that is
    // not a regular file is refused when read, never passed over.
    for (const platform::FolderEntry& entry : qAsConst(entries)) {
        const QString name = entry.name.toText();
        if (PackageFiles::isJournalName(name, nullptr))
            *journals << name;
        else if (PackageFiles::isUnfinishedJournalName(name, nullptr))
            *unfinished << name;
    }
    journals->sort();
    unfinished->sort();
    return true;
}

} // namespace korvo
