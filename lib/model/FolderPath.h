#pragma once

#include "NativePath.h"

#include <QExplicitlySharedDataPointer>
#include <QSharedData>
#include <QString>

namespace korvo {

// The path of a scanned folder as a chain of names, each level shared with
// every folder below it. A tree keeps its paths in memory proportional to
// its number of folders, whatever its depth (a full path per folder would
// cost the square of the depth in a deep chain); the texts are made when
// asked for. Every level also knows its exact name where the shown one does
// not give it, so the exact path of any folder can be had back.
class FolderPath
{
public:
    FolderPath() = default;

    // A path given whole, such as the folder a scan starts from: its text,
    // and its exact form where the text does not give it.
    static FolderPath fromText(const QString& absolutePath, const NativePath& exact = NativePath());

    // The folder `name` inside this one; `exactName` where the shown name
    // does not give the exact one.
    FolderPath child(const QString& name, const NativePath& exactName = NativePath()) const;

    bool isNull() const { return !level_; }
    // The last level's name (empty for a path given whole).
    QString name() const;
    NativePath nativeName() const;
    // The whole path as shown, and exactly.
    QString text() const;
    NativePath native() const;
    // The path of the folder that holds this one, as shown.
    QString parentText() const;

    // True when both are the very same level (not merely equal texts).
    bool isSameLevel(const FolderPath& other) const { return level_ == other.level_; }
    // The folder that holds this one; null for a path given whole.
    FolderPath parent() const;
    // The level itself, for tables of folders keyed by identity.
    const void* key() const { return level_.data(); }

private:
    struct Level : QSharedData
    {
        Level() = default;
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;
        ~Level();

        QExplicitlySharedDataPointer<Level> parent; // null for a path given whole
        QString name;                                // a name, or the whole path at the top
        NativePath exact;                            // the exact name (or path at the top) where it differs
    };

    explicit FolderPath(Level* level) : level_(level) {}
    template<typename Part, typename Join>
    static void walkUp(const Level* from, Part part, Join join);

    QExplicitlySharedDataPointer<Level> level_;
};

} // namespace korvo
