#include "ConsoleText.h"

namespace korvo::platform {

// A terminal here takes the UTF-8 bytes korvo writes to it.
ConsoleText::ConsoleText(bool standardError)
{
    Q_UNUSED(standardError)
}

ConsoleText::~ConsoleText() = default;

bool ConsoleText::write(const QString& text) const
{
    Q_UNUSED(text)
    return false;
}

} // namespace korvo::platform
