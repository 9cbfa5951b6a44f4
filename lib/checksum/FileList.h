#pragma once

#include <QByteArray>

#include <vector>

namespace korvo {

// Files found below a folder or inside an image, in the order found, kept
// compactly: their relative paths (stored names joined by "/") lie back to
// back in one buffer, so a million files take some 13 bytes a file beside
// their paths.
class FileList
{
public:
    int count() const { return int(kinds_.size()); }
    QByteArray relativePath(int index) const;
    // False for a link, device, FIFO or socket.
    bool regular(int index) const { return kinds_[size_t(index)] != 0; }
    // The bytes of the regular files.
    qint64 totalSize() const { return totalSize_; }

    // The index of the file at `relativePath`, compared byte for byte; -1
    // when there is none. Of a path found twice, the first is found.
    int indexOf(const QByteArray& relativePath) const;

    void append(const QByteArray& relativePath, qint64 size, bool regular);
    // Prepares indexOf() once every file is appended.
    void finish();

private:
    bool less(int a, const char* path, size_t length) const;

    std::vector<char> paths_;
    std::vector<qint64> ends_; // where each path ends in paths_
    std::vector<char> kinds_;
    // Lookup order (pathLess), when the files were not found in it.
    std::vector<int> sorted_;
    qint64 totalSize_ = 0;
};

} // namespace korvo
