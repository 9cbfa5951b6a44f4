#include "HeldMove.h"

#include "Packager.h"
#include "Platform.h"

namespace korvo::test {

HeldMove::HeldMove(const QString& name)
{
    Packager::setMoveFunction([this, name](const NativePath& source, const NativePath& destination, qint64* code) {
        if (source.fileName() == NativePath::fromText(name)) {
            reached_.release();
            // Bounded, so that a move on the test's own thread fails the
            // test instead of hanging it.
            release_.tryAcquire(1, 10000);
        }
        return platform::moveWithoutReplacing(source, destination, code);
    });
}

HeldMove::~HeldMove()
{
    release();
    Packager::setMoveFunction(Packager::MoveFunction());
}

} // namespace korvo::test
