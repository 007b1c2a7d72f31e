#include "settings_removal.h"

#include <iterator>

namespace fernwise {

QString removalMessage(RemovalResult removalResult) {
    const auto code = static_cast<std::size_t>(removalResult);
    if (code >= std::size(removalMessages)) return {};
    return QString::fromLatin1(removalMessages[code]);
}

}  // namespace fernwise
