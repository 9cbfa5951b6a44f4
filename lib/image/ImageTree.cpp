#include "ImageTree.h"

#include "FileWalk.h"

namespace korvo {

bool listImageTree(const NativePath& folder, QVector<ImageTreeEntry>& entries, QString* errorString)
{
    // The manifest's own walk, so that the image lists its files in the
    // order the manifest does.
    entries.clear();
    QVector<WalkProblem> problems;
    bool kept = true;
    walkSorted(
        folder,
        [&](const WalkEntry& entry) {
            if (entry.kind == platform::FolderEntry::Other) {
                *errorString = QStringLiteral("%1 is a link or a special file, which an image does not keep")
                                   .arg(folder.child(NativePath::fromStoredBytes(entry.relativePath)).toText());
                kept = false;
                return false;
            }
            const bool isFolder = entry.kind == platform::FolderEntry::Folder;
            entries.append(ImageTreeEntry{entry.relativePath, isFolder, isFolder ? 0 : entry.size});
            return true;
        },
        problems);
    if (!problems.isEmpty()) {
        const WalkProblem& problem = problems.first();
        const NativePath path = problem.relativePath.isEmpty()
                                    ? folder
                                    : folder.child(NativePath::fromStoredBytes(problem.relativePath));
        *errorString = QStringLiteral("cannot list %1: %2").arg(path.toText(), problem.reason);
        return false;
    }
    return kept;
}

} // namespace korvo
