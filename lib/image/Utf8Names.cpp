#include "Utf8Names.h"

#ifndef _WIN32
#include <locale.h>
#endif

namespace korvo {

Utf8Names::Utf8Names()
{
#ifndef _WIN32
    // Windows names are UTF-16 already and libarchive takes them so.
    locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    if (!utf8)
        return;
    utf8_ = utf8;
    previous_ = uselocale(utf8);
#endif
}

Utf8Names::~Utf8Names()
{
#ifndef _WIN32
    if (!utf8_)
        return;
    uselocale(static_cast<locale_t>(previous_));
    freelocale(static_cast<locale_t>(utf8_));
#endif
}

} // namespace korvo
