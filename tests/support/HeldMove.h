#pragma once

#include <QSemaphore>
#include <QString>

namespace korvo::test {

// Holds a package move, on whatever thread runs it, at the item of the
// given name until release(); the move function is the usual one again when
// it goes.
class HeldMove
{
public:
    explicit HeldMove(const QString& name);
    ~HeldMove();
    HeldMove(const HeldMove&) = delete;
    HeldMove& operator=(const HeldMove&) = delete;

    bool reached() const { return reached_.available() > 0; }
    void release() { release_.release(1000); }

private:
    QSemaphore reached_;
    QSemaphore release_;
};

} // namespace korvo::test
