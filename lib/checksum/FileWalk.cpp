#include "FileWalk.h"

#include "Platform.h"

#include <algorithm>

namespace korvo {

namespace {

// One folder of the walk: its entries in order and how far they are done.
struct Level
{
    QByteArray prefix;
    NativePath path;
    QVector<platform::FolderEntry> entries;
    int next = 0;
};

QByteArray joined(const QByteArray& prefix, const NativePath& name)
{
    return prefix.isEmpty() ? name.storedBytes() : prefix + '/' + name.storedBytes();
}

} // namespace

void walkSorted(const NativePath& folder, const std::function<bool(const WalkEntry&)>& visit,
                QVector<WalkProblem>& problems)
{
    // An explicit stack: package trees can be thousands of levels deep.
    std::vector<Level> stack;
    auto enter = [&](const QByteArray& prefix, const NativePath& path) {
        Level level{prefix, path, {}, 0};
        qint64 code = 0;
        if (!platform::listFolder(path, level.entries, &code)) {
            problems.append(WalkProblem{prefix, platform::errorText(code)});
            return;
        }
        std::sort(level.entries.begin(), level.entries.end(),
                  [](const platform::FolderEntry& a, const platform::FolderEntry& b) { return a.name < b.name; });
        stack.push_back(std::move(level));
    };
    enter(QByteArray(), folder);
    while (!stack.empty()) {
        Level& top = stack.back();
        if (top.next == top.entries.size()) {
            stack.pop_back();
            continue;
        }
        const platform::FolderEntry entry = top.entries.at(top.next++);
        const QByteArray relative = joined(top.prefix, entry.name);
        if (!visit(WalkEntry{relative, entry.kind, entry.size}))
            return;
        if (entry.kind == platform::FolderEntry::Folder)
            enter(relative, top.path.child(entry.name)); // `top` is not used after this
    }
}

void walkFiles(const NativePath& folder, FileList& files, QVector<WalkProblem>& problems, bool withOthers)
{
    files = FileList();
    walkSorted(
        folder,
        [&](const WalkEntry& entry) {
            if (entry.kind == platform::FolderEntry::File || (withOthers && entry.kind == platform::FolderEntry::Other))
                files.append(entry.relativePath, entry.size, entry.kind == platform::FolderEntry::File);
            return true;
        },
        problems);
    files.finish();
}

} // namespace korvo
