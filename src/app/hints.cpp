// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/hints.h"

namespace mailmend::app {

std::string hintAt(int x, int y, std::string_view recoverCaption)
{
    for (const HintRule& rule : kHintRules) {
        if (!rule.region.contains(x, y))
            continue;
        if (rule.hint)
            return rule.hint;
        if (recoverCaption == "&Recover")
            return kRecoverHint;
        if (recoverCaption == "&Stop")
            return kStopHint;
        return kReadyHint;
    }
    return kReadyHint;
}

} // namespace mailmend::app
