#include "FileWalk.h"

#include "Platform.h"

#include <algorithm>
#include <vector>

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

void walkFiles(const NativePath& folder, QVector<WalkedFile>& files, QVector<WalkProblem>& problems,
               bool withOthers)
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
        const NativePath path = top.path.child(entry.name);
        if (entry.kind == platform::FolderEntry::File)
            files.append(WalkedFile{relative, path, entry.size});
        else if (entry.kind == platform::FolderEntry::Folder)
            enter(relative, path); // `top` is not used after this
        else if (withOthers)
            files.append(WalkedFile{relative, path, 0, false});
    }
}

} // namespace korvo
