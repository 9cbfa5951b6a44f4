#include "NestedFolders.h"

namespace korvo {

const platform::FolderHandle* NestedFolders::open(const QList<NativePath>& levels, bool create,
                                                  platform::FolderLevel* state, qint64* errorCode)
{
    *state = platform::FolderLevel::Folder;
    int shared = 0;
    while (shared < names_.size() && shared < levels.size() && names_.at(shared) == levels.at(shared))
        ++shared;
    // Released from the deepest up.
    while (names_.size() > shared) {
        names_.removeLast();
        held_.pop_back();
    }
    for (int i = shared; i < levels.size(); ++i) {
        const platform::FolderHandle& above = held_.empty() ? top_ : held_.back();
        platform::FolderHandle level;
        *state = above.openLevel(levels.at(i), create, &level, errorCode);
        if (*state != platform::FolderLevel::Folder && *state != platform::FolderLevel::Shared)
            return nullptr;
        names_.append(levels.at(i));
        held_.push_back(std::move(level));
    }
    *state = platform::FolderLevel::Folder;
    return held_.empty() ? &top_ : &held_.back();
}

void NestedFolders::close()
{
    while (!held_.empty())
        held_.pop_back();
    names_.clear();
}

} // namespace korvo
