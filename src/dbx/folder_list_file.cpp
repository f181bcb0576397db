// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/folder_list_file.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "dbx/folder_file_layout.h"
#include "dbx/index_tree.h"
#include "platform/random_access_file.h"

namespace mailmend::dbx {
namespace {

enum FolderAttribute : std::uint8_t {
    kId = 0x00,
    kParent = 0x01,
    kName = 0x02,
    kFileName = 0x03,
    kAccount = 0x05,
    kFlags = 0x06,
    kMessageCount = 0x07,
    kUnreadCount = 0x08,
    kSpecialType = 0x09,
    kStoreType = 0x0A,
};

// Real lists are a few kilobytes; a larger file is taken for something else.
constexpr std::uint64_t kLargestFolderList = 16 * 1024 * 1024;

constexpr char kFolderConditions[] = "(FLDCOL_FLAGS & FOLDER_SUBSCRIBED)";
constexpr std::uint32_t kFolderConditionsLength = 0x24;
constexpr std::uint32_t kFolderConditionsSize = 8 + kFolderConditionsLength;

FolderEntry entryFrom(const std::vector<InfoAttribute>& attributes)
{
    FolderEntry entry;
    for (const auto& attribute : attributes) {
        const std::uint32_t number = attribute.asInteger().value_or(0);
        switch (attribute.id) {
        case kId: entry.id = number; break;
        case kParent: entry.parent = number; break;
        case kName: entry.name = attribute.asString(); break;
        case kFileName: entry.fileName = attribute.asString(); break;
        case kAccount: entry.account = attribute.asString(); break;
        case kFlags: entry.flags = number; break;
        case kMessageCount: entry.messageCount = number; break;
        case kUnreadCount: entry.unreadCount = number; break;
        case kSpecialType: entry.specialType = number; break;
        case kStoreType: entry.storeType = number; break;
        default: entry.otherAttributes.push_back(attribute); break;
        }
    }
    return entry;
}

// Outlook Express leaves out the attributes whose value is 0 or empty.
std::vector<InfoAttribute> attributesOf(const FolderEntry& entry)
{
    std::vector<InfoAttribute> attributes = entry.otherAttributes;
    const auto number = [&](std::uint8_t id, std::uint32_t value) {
        if (value != 0)
            attributes.push_back(InfoAttribute::integer(id, value));
    };
    const auto text = [&](std::uint8_t id, const std::string& value) {
        if (!value.empty())
            attributes.push_back(InfoAttribute::string(id, value));
    };
    number(kId, entry.id);
    number(kParent, entry.parent);
    text(kName, entry.name);
    text(kFileName, entry.fileName);
    text(kAccount, entry.account);
    number(kFlags, entry.flags);
    number(kMessageCount, entry.messageCount);
    number(kUnreadCount, entry.unreadCount);
    number(kSpecialType, entry.specialType);
    number(kStoreType, entry.storeType);
    std::stable_sort(attributes.begin(), attributes.end(),
                     [](const InfoAttribute& a, const InfoAttribute& b) { return a.id < b.id; });
    return attributes;
}

std::string lowerAscii(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Tree 2's order: parent first (as a signed number, so the root's "none" comes first),
// then the name without regard to case.
bool byParentAndName(const FolderEntry* a, const FolderEntry* b)
{
    const auto parentA = static_cast<std::int32_t>(a->parent);
    const auto parentB = static_cast<std::int32_t>(b->parent);
    if (parentA != parentB)
        return parentA < parentB;
    const std::string nameA = lowerAscii(a->name);
    const std::string nameB = lowerAscii(b->name);
    return nameA != nameB ? nameA < nameB : a->id < b->id;
}

// The file is built in memory: a store's folder list is small.
class ImageBuilder {
public:
    ImageBuilder() : m_space(kFolderListFirstSectorEnd) {}

    // Space in the middle sector; the folder list never comes near 4 GiB.
    std::uint32_t allocate(SegmentKind kind, std::size_t size)
    {
        return m_space.allocate(kind, static_cast<std::uint32_t>(size)).value_or(0);
    }

    void put(std::uint32_t at, const void* data, std::size_t size)
    {
        if (m_image.size() < at + size)
            m_image.resize(at + size, '\0');
        std::memcpy(m_image.data() + at, data, size);
    }

    // Places a tree over `values`; returns its root and adds its node count to `nodes`.
    std::uint32_t tree(const std::vector<std::uint32_t>& values, std::uint64_t& nodes)
    {
        const auto built = buildIndexTree(values, [this] {
            return m_space.allocate(SegmentKind::Tree, kTreeNodeSize);
        });
        if (!built)
            return 0;
        for (const auto& node : built->nodes)
            put(node.offset, node.bytes.data(), node.bytes.size());
        nodes += built->nodes.size();
        return built->root;
    }

    std::string finish(FileHeader& fileHeader, const std::string& fileInfo)
    {
        m_space.store(fileHeader);
        put(0, fileHeader.data(), kFileHeaderSize);
        put(kFileHeaderSize, fileInfo.data(),
            std::min<std::size_t>(fileInfo.size(), kFolderListInfoSize));
        m_image.resize(static_cast<std::size_t>(m_space.paddedFileSize()), '\0');
        return std::move(m_image);
    }

private:
    SpaceAllocator m_space;
    std::string m_image;
};

} // namespace

FolderList newFolderList(std::uint64_t createdTime)
{
    FolderList list;
    list.fileInfo.assign(kFolderListInfoSize, '\0');
    auto* info = reinterpret_cast<unsigned char*>(list.fileInfo.data());
    putLe32(info, static_cast<std::uint32_t>(createdTime));
    putLe32(info + 4, static_cast<std::uint32_t>(createdTime >> 32));
    putLe32(info + 8, 1);

    FolderEntry root;
    root.parent = kNoParent;
    root.name = "Outlook Express";
    root.flags = 0x800010;
    root.storeType = 4;
    list.folders.push_back(root);

    FolderEntry local;
    local.id = 1;
    local.parent = kRootFolderId;
    local.name = "Local Folders";
    local.account = "LocalStore";
    local.flags = 0x900019;
    local.storeType = kLocalStoreType;
    list.folders.push_back(local);

    const char* special[] {"Inbox", "Outbox", "Sent Items", "Deleted Items", "Drafts"};
    for (std::uint32_t i = 0; i < 5; ++i) {
        FolderEntry folder;
        folder.id = 2 + i;
        folder.parent = 1;
        folder.name = special[i];
        folder.flags = kSubscribedFlag;
        folder.specialType = 1 + i;
        folder.storeType = kLocalStoreType;
        list.folders.push_back(folder);
    }
    return list;
}

std::optional<FolderList> readFolderList(const std::filesystem::path& path)
{
    platform::RandomAccessFile file;
    if (!file.openExisting(path))
        return std::nullopt;
    const std::uint64_t size = file.size();
    if (size < kFolderListFirstSectorEnd || size > kLargestFolderList)
        return std::nullopt;
    std::string image(static_cast<std::size_t>(size), '\0');
    if (file.readAt(0, image.data(), image.size()) != image.size())
        return std::nullopt;
    file.close();

    const auto* bytes = reinterpret_cast<const unsigned char*>(image.data());
    const auto word = [&](std::uint32_t at) { return readLe32(bytes + at); };
    if (word(0) != kFileSignature || word(header::kFileClass) != kFolderListClass
        || word(8) != kMailFolderSignature[2] || word(12) != kMailFolderSignature[3]
        || word(header::kFileInfoLength) != kFolderListInfoSize)
        return std::nullopt;

    const auto imageSize = static_cast<std::uint32_t>(image.size());
    const std::uint32_t count = word(header::kTreeCounts);
    if (count > imageSize / kInfoHeaderSize)
        return std::nullopt;
    const auto readNode = [&](std::uint32_t offset, TreeNodeBytes& node) {
        if (offset < kFolderListFirstSectorEnd || offset > imageSize - kTreeNodeSize)
            return false;
        std::memcpy(node.data(), bytes + offset, kTreeNodeSize);
        return true;
    };
    const auto values = readIndexTree(word(header::kTreeRoots), count, readNode);
    if (!values)
        return std::nullopt;

    FolderList list;
    list.fileInfo = image.substr(kFileHeaderSize, kFolderListInfoSize);
    std::unordered_set<std::uint32_t> ids;
    for (const std::uint32_t offset : *values) {
        if (offset < kFolderListFirstSectorEnd || offset > imageSize - kInfoHeaderSize)
            return std::nullopt;
        const auto body = indexedInfoBodyLength(bytes + offset, offset);
        if (!body || *body > imageSize - kInfoHeaderSize - offset)
            return std::nullopt;
        const auto attributes = decodeIndexedInfo(
            bytes + offset, std::string_view(image).substr(offset + kInfoHeaderSize, *body));
        if (!attributes)
            return std::nullopt;
        FolderEntry entry = entryFrom(*attributes);
        if (!ids.insert(entry.id).second)
            return std::nullopt;
        list.folders.push_back(std::move(entry));
    }
    return list;
}

std::string folderListImage(const FolderList& list)
{
    ImageBuilder builder;
    FileHeader fileHeader;
    fileHeader.setConstants(true);

    const std::uint32_t conditionsAt
        = builder.allocate(SegmentKind::Variable, kFolderConditionsSize);
    std::string conditions = le32String(conditionsAt) + le32String(kFolderConditionsLength);
    conditions += kFolderConditions;
    conditions.resize(kFolderConditionsSize, '\0');
    builder.put(conditionsAt, conditions.data(), conditions.size());

    std::vector<const FolderEntry*> folders;
    for (const auto& folder : list.folders)
        folders.push_back(&folder);
    std::sort(folders.begin(), folders.end(),
              [](const FolderEntry* a, const FolderEntry* b) { return a->id < b->id; });
    std::vector<std::uint32_t> byId;
    std::uint64_t infoBytes = 0;
    std::uint32_t highestId = 0;
    for (const FolderEntry* folder : folders) {
        const auto attributes = attributesOf(*folder);
        const std::size_t size = indexedInfoSize(attributes);
        const std::uint32_t at = builder.allocate(SegmentKind::Variable, size);
        const std::string object = encodeIndexedInfo(at, attributes);
        builder.put(at, object.data(), object.size());
        byId.push_back(at);
        infoBytes += size;
        highestId = std::max(highestId, folder->id);
    }

    std::vector<std::size_t> order(folders.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return byParentAndName(folders[a], folders[b]);
    });
    std::vector<std::uint32_t> byName;
    std::vector<std::uint32_t> subscribed;
    for (const std::size_t i : order) {
        byName.push_back(byId[i]);
        if (folders[i]->flags & kSubscribedFlag)
            subscribed.push_back(byId[i]);
    }

    std::uint64_t nodes = 0;
    const std::uint32_t roots[] {builder.tree(byId, nodes), builder.tree(byName, nodes),
                                 builder.tree(subscribed, nodes)};
    const std::size_t counts[] {byId.size(), byName.size(), subscribed.size()};
    for (std::uint32_t t = 0; t < 3; ++t) {
        fileHeader.set(header::kTreeCounts + 4 * t, static_cast<std::uint32_t>(counts[t]));
        fileHeader.set(header::kTreeRoots + 4 * t, roots[t]);
    }
    const std::uint64_t nodeBytes = nodes * kTreeNodeSize;
    fileHeader.set(header::kFolderConditions, conditionsAt);
    fileHeader.set(header::kConditionBytes, kFolderConditionsSize);
    fileHeader.set(header::kInfoBytes, static_cast<std::uint32_t>(infoBytes));
    fileHeader.set(header::kNodeBytes, static_cast<std::uint32_t>(nodeBytes));
    fileHeader.set(header::kAllocatedBytes,
                   static_cast<std::uint32_t>(kFolderConditionsSize + infoBytes + nodeBytes));
    fileHeader.set(header::kLastId, highestId);

    std::string fileInfo = list.fileInfo;
    fileInfo.resize(kFolderListInfoSize, '\0');
    return builder.finish(fileHeader, fileInfo);
}

} // namespace mailmend::dbx
