// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>

namespace mailmend::mailstore::pst {

// Node ids: a 5-bit type in the low bits, an index above it.
using Nid = std::uint32_t;
// Block ids: bit 1 marks blocks that hold other blocks' ids; the rest counts up by 4.
using Bid = std::uint64_t;
// Heap ids: an allocation number and the heap block that holds it.
using Hid = std::uint32_t;

enum class NidType : std::uint8_t {
    HeapNode = 0x00,
    Internal = 0x01,
    NormalFolder = 0x02,
    SearchFolder = 0x03,
    NormalMessage = 0x04,
    Attachment = 0x05,
    HierarchyTable = 0x0D,
    ContentsTable = 0x0E,
    AssocContentsTable = 0x0F,
    AttachmentTable = 0x11,
    RecipientTable = 0x12,
    Ltp = 0x1F,
};

constexpr Nid makeNid(std::uint32_t index, NidType type)
{
    return (index << 5) | static_cast<std::uint32_t>(type);
}
constexpr std::uint32_t nidIndex(Nid nid) { return nid >> 5; }
constexpr std::uint32_t nidTypeOf(Nid nid) { return nid & 0x1F; }
// The same index with another type: a folder's tables share its index.
constexpr Nid withType(Nid nid, NidType type) { return makeNid(nidIndex(nid), type); }

inline constexpr std::uint32_t kLargestNidIndex = (1u << 27) - 1;

// The nodes every store has.
inline constexpr Nid kMessageStoreNid = 0x21;
inline constexpr Nid kNameToIdMapNid = 0x61;
inline constexpr Nid kHierarchyTemplateNid = 0x60D;
inline constexpr Nid kContentsTemplateNid = 0x60E;
inline constexpr Nid kAssocContentsTemplateNid = 0x60F;
inline constexpr Nid kSearchContentsTemplateNid = 0x610;
inline constexpr Nid kAttachmentTableNid = 0x671; // also the attachment table template
inline constexpr Nid kRecipientTableNid = 0x692;  // also the recipient table template
inline constexpr Nid kRootFolderNid = 0x122;
inline constexpr Nid kIpmSubtreeNid = 0x8022;
inline constexpr Nid kSearchRootNid = 0x8042;
inline constexpr Nid kDeletedItemsNid = 0x8062;

// Sizes of the node database.
inline constexpr std::size_t kPageSize = 512;
inline constexpr std::size_t kBlockTrailerSize = 16;
inline constexpr std::size_t kMaxBlockData = 8192 - kBlockTrailerSize; // 8176
inline constexpr std::size_t kMaxHeapAllocation = 3580;

} // namespace mailmend::mailstore::pst
