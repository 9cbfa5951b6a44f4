#pragma once

#include <QVector>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace korvo {

// A folder's list of files or of subfolders (shared pointers to nodes) that
// can give up entries by identity in time proportional to the entries taken,
// not to the list: a package taken out of a folder of a million items costs
// what the package holds. Taking an entry leaves a hole; the holes close, in
// one pass that keeps the order of the rest, the next time the list is read.
//
// Entries are taken and the list is next read on one thread (the GUI thread
// moves packages; nothing else reads the tree meanwhile), so closing the
// holes on a read needs no lock.
template<typename Ptr>
class EntryList
{
public:
    // The entries in order, without holes.
    const QVector<Ptr>& entries() const
    {
        closeHoles();
        return entries_;
    }
    int size() const { return entries_.size() - (taking_ ? taking_->holes : 0); }

    void append(const Ptr& entry)
    {
        closeHoles();
        entries_.append(entry);
    }
    void reserve(int size) { entries_.reserve(size); }

    // Takes out the first entry still listed that is `node` itself (the same
    // object, not an equal one); false when there is none. `taken`, when
    // given, receives the entry, which then lives on as long as the caller
    // holds it.
    bool take(const void* node, Ptr* taken = nullptr)
    {
        if (!taking_)
            startTaking();
        auto& positions = taking_->positions;
        auto at = std::lower_bound(positions.begin(), positions.end(), std::make_pair(node, 0));
        for (; at != positions.end() && at->first == node; ++at) {
            Ptr& entry = entries_[at->second];
            if (entry) {
                if (taken)
                    *taken = entry;
                entry.reset();
                ++taking_->holes;
                return true;
            }
        }
        return false;
    }

    // The entries with the holes left in, for taking every entry away at once.
    QVector<Ptr>& storage()
    {
        taking_.reset();
        return entries_;
    }

private:
    struct Taking
    {
        std::vector<std::pair<const void*, int>> positions; // by node, then position
        int holes = 0;
    };

    void startTaking()
    {
        taking_.reset(new Taking);
        taking_->positions.reserve(size_t(entries_.size()));
        for (int i = 0; i < entries_.size(); ++i)
            taking_->positions.emplace_back(entries_.at(i).data(), i);
        std::sort(taking_->positions.begin(), taking_->positions.end());
    }

    void closeHoles() const
    {
        if (!taking_)
            return;
        if (taking_->holes > 0)
            entries_.erase(std::remove(entries_.begin(), entries_.end(), Ptr()), entries_.end());
        taking_.reset();
    }

    mutable QVector<Ptr> entries_;
    mutable std::unique_ptr<Taking> taking_; // only while entries are being taken
};

} // namespace korvo
