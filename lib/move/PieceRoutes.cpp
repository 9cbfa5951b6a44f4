#include "PieceRoutes.h"

#include "MoveTexts.h"
#include "RelativePath.h"

#include <QSet>

#include <algorithm>

namespace korvo {

namespace {

int indexOf(PieceRoutes::Side side)
{
    return side == PieceRoutes::Side::Source ? 0 : 1;
}

} // namespace

PieceRoutes::PieceRoutes(const NativePath& sourceFolder, const NativePath& targetFolder,
                         const platform::FolderHandle* target)
    : tops_{sourceFolder, targetFolder}, given_(target)
{
}

PieceRoutes::~PieceRoutes()
{
    release(); // the levels before the tops they were opened from
}

bool PieceRoutes::openTop(Side side, QString* line)
{
    const int i = indexOf(side);
    if (below_[i])
        return true;
    const platform::FolderHandle* top = &opened_[i];
    if (side == Side::Target && given_) {
        top = given_;
    } else {
        qint64 code = 0;
        if (!platform::FolderHandle::open(tops_[i], &opened_[i], &code)) {
            *line = MoveTexts::failure("Open folder", tops_[i], code);
            return false;
        }
    }
    below_[i].reset(new NestedFolders(*top));
    return true;
}

const platform::FolderHandle* PieceRoutes::holder(Side side, const QList<NativePath>& levels, bool create,
                                                  QString* line, bool* missing)
{
    if (missing)
        *missing = false;
    if (!openTop(side, line))
        return nullptr;
    platform::FolderLevel state = platform::FolderLevel::Folder;
    qint64 code = 0;
    const platform::FolderHandle* folder = below_[indexOf(side)]->open(levels.mid(0, levels.size() - 1), create,
                                                                       &state, &code);
    if (folder)
        return folder;
    if (missing)
        *missing = state == platform::FolderLevel::Missing;
    NativePath path = tops_[indexOf(side)];
    for (int i = 0; i + 1 < levels.size(); ++i)
        path = path.child(levels.at(i));
    *line = MoveTexts::levelRefusal(state, path, code);
    return nullptr;
}

const platform::FolderHandle* PieceRoutes::folder(Side side, const QList<NativePath>& folder, QString* line)
{
    // The holder of a name below the folder is the folder itself.
    return holder(side, QList<NativePath>(folder) << NativePath(), false, line);
}

void PieceRoutes::removeEmptyFolders(Side side, const QList<QList<NativePath>>& pieces)
{
    QList<QList<NativePath>> folders;
    QSet<QByteArray> seen;
    for (const QList<NativePath>& levels : pieces) {
        for (int depth = 1; depth < levels.size(); ++depth) {
            const QList<NativePath> folder = levels.mid(0, depth);
            if (!seen.contains(RelativePath::stored(folder))) {
                seen.insert(RelativePath::stored(folder));
                folders << folder;
            }
        }
    }
    std::stable_sort(folders.begin(), folders.end(),
                     [](const QList<NativePath>& a, const QList<NativePath>& b) { return a.size() > b.size(); });
    QString line;
    for (const QList<NativePath>& folder : qAsConst(folders)) {
        // Opened up to the folder's parent only: nothing holds the folder.
        const platform::FolderHandle* parent = holder(side, folder, false, &line);
        if (parent)
            parent->removeEmptyFolder(folder.last(), nullptr);
    }
}

void PieceRoutes::release()
{
    for (std::unique_ptr<NestedFolders>& below : below_) {
        if (below)
            below->close();
    }
}

} // namespace korvo
