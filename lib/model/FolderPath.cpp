#include "FolderPath.h"

#include <QVarLengthArray>

namespace korvo {

FolderPath::Level::~Level()
{
    // Release the levels above one after the other, not one nested
    // destructor per level: a chain may be tens of thousands of levels long.
    QExplicitlySharedDataPointer<Level> up(std::move(parent));
    while (up && up->ref.loadRelaxed() == 1) {
        QExplicitlySharedDataPointer<Level> next(std::move(up->parent));
        up.reset(); // its parent is already taken: no nested release
        up = std::move(next);
    }
}

FolderPath FolderPath::fromText(const QString& absolutePath, const NativePath& exact)
{
    auto* level = new Level;
    level->name = absolutePath;
    if (!exact.isEmpty() && exact != NativePath::fromText(absolutePath))
        level->exact = exact;
    return FolderPath(level);
}

FolderPath FolderPath::child(const QString& name, const NativePath& exactName) const
{
    auto* level = new Level;
    level->parent = level_;
    level->name = name;
    if (!exactName.isEmpty() && exactName != NativePath::fromText(name))
        level->exact = exactName;
    return FolderPath(level);
}

FolderPath FolderPath::parent() const
{
    return level_ && level_->parent ? FolderPath(level_->parent.data()) : FolderPath();
}

QString FolderPath::name() const
{
    return level_ && level_->parent ? level_->name : QString();
}

NativePath FolderPath::nativeName() const
{
    if (!level_ || !level_->parent)
        return NativePath();
    return level_->exact.isEmpty() ? NativePath::fromText(level_->name) : level_->exact;
}

// Calls `part` with the top level, then `join` with each level below it, in
// order from the top down.
template<typename Part, typename Join>
void FolderPath::walkUp(const Level* from, Part part, Join join)
{
    QVarLengthArray<const Level*, 32> levels;
    for (const Level* level = from; level; level = level->parent.data())
        levels.append(level);
    part(*levels.last());
    for (int i = levels.size() - 2; i >= 0; --i)
        join(*levels.at(i));
}

QString FolderPath::text() const
{
    if (!level_)
        return QString();
    QString path;
    walkUp(
        level_.data(), [&](const Level& top) { path = top.name; },
        [&](const Level& level) {
            // As QFileInfo joins: "/" and "a" make "/a"; an empty name adds nothing.
            if (level.name.isEmpty())
                return;
            if (!path.endsWith(QLatin1Char('/')))
                path += QLatin1Char('/');
            path += level.name;
        });
    return path;
}

NativePath FolderPath::native() const
{
    if (!level_)
        return NativePath();
    NativePath path;
    walkUp(
        level_.data(),
        [&](const Level& top) { path = top.exact.isEmpty() ? NativePath::fromText(top.name) : top.exact; },
        [&](const Level& level) {
            if (!level.name.isEmpty() || !level.exact.isEmpty())
                path.append(level.exact.isEmpty() ? NativePath::fromText(level.name) : level.exact);
        });
    return path;
}

QString FolderPath::parentText() const
{
    if (!level_)
        return QString();
    if (level_->parent)
        return FolderPath(level_->parent.data()).text();
    // A path given whole: the text before its last separator ("/" for a
    // folder at the top of the file system).
    const QString& whole = level_->name;
    const int slash = whole.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? whole.left(1) : whole.left(slash);
}

} // namespace korvo
