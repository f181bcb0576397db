// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

namespace mailmend::mailstore::pst {

// The columns of each kind of table (the row id and row version come on their own).
const std::vector<std::uint32_t>& hierarchyColumns();
const std::vector<std::uint32_t>& contentsColumns();
const std::vector<std::uint32_t>& assocContentsColumns();
const std::vector<std::uint32_t>& recipientColumns();
const std::vector<std::uint32_t>& attachmentColumns();

} // namespace mailmend::mailstore::pst
