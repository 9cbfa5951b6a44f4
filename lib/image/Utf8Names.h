#pragma once

namespace korvo {

// While it lives, the calling thread reads and writes names as UTF-8
// whatever the process's locale (on Linux: a thread locale of C.UTF-8).
// libarchive converts names for Joliet and ZIP from the thread's character
// set; under the C locale of a bare terminal or a service every name that
// is not ASCII would be lost there. Names stay bytes: only what libarchive
// converts them to depends on this.
class Utf8Names
{
public:
    Utf8Names();
    ~Utf8Names();
    Utf8Names(const Utf8Names&) = delete;
    Utf8Names& operator=(const Utf8Names&) = delete;

private:
    void* previous_ = nullptr;
    void* utf8_ = nullptr;
};

} // namespace korvo
