// SPDX-License-Identifier: GPL-3.0-or-later
#include "dbx/index_tree.h"

#include <algorithm>
#include <unordered_set>

namespace mailmend::dbx {
namespace {

// Node fields.
constexpr std::size_t kLeftChildAt = 0x08;
constexpr std::size_t kParentAt = 0x0C;
constexpr std::size_t kNodeIdAt = 0x10;
constexpr std::size_t kEntryCountAt = 0x11;
constexpr std::size_t kLeftCountAt = 0x14;
constexpr std::size_t kEntriesAt = 0x18;
constexpr std::size_t kEntrySize = 12;

constexpr std::uint32_t kFanOut = kTreeNodeCapacity + 1;
// No real tree is deeper: six levels already index more values than 4 GiB can hold.
constexpr int kDeepest = 8;

class TreeBuilder {
public:
    TreeBuilder(const std::vector<std::uint32_t>& values,
                const std::function<std::optional<std::uint32_t>()>& placeNode)
        : m_values(values), m_placeNode(placeNode)
    {
    }

    std::optional<BuiltTree> build()
    {
        BuiltTree tree;
        if (m_values.empty())
            return tree;
        int height = 1;
        for (std::uint64_t capacity = kTreeNodeCapacity; capacity < m_values.size(); ++height)
            capacity = capacity * kFanOut + kTreeNodeCapacity;
        const auto root = node(0, m_values.size(), height, 0, 0);
        if (!root)
            return std::nullopt;
        tree.root = *root;
        tree.nodes = std::move(m_nodes);
        return tree;
    }

private:
    // Values a subtree of `height` levels can hold: 52^height - 1.
    static std::uint64_t capacity(int height)
    {
        std::uint64_t result = 1;
        for (int i = 0; i < height; ++i)
            result *= kFanOut;
        return result - 1;
    }

    // Places the node for values [first, last) and, below it, its subtrees.
    std::optional<std::uint32_t> node(std::size_t first, std::size_t last, int height,
                                      std::uint32_t parent, std::uint8_t nodeId)
    {
        const auto offset = m_placeNode();
        if (!offset)
            return std::nullopt;
        const std::size_t index = m_nodes.size();
        m_nodes.push_back({*offset, {}});
        const std::size_t count = last - first;

        std::vector<std::size_t> separators; // positions of the values kept in this node
        std::vector<std::pair<std::size_t, std::size_t>> runs; // the children's ranges
        if (height == 1) {
            for (std::size_t i = first; i < last; ++i)
                separators.push_back(i);
        } else {
            const std::uint64_t childCapacity = capacity(height - 1);
            // c children hold c * childCapacity values and c - 1 separators between them.
            const std::size_t children
                = static_cast<std::size_t>((count + 1 + childCapacity) / (childCapacity + 1));
            const std::size_t below = count - (children - 1);
            std::size_t at = first;
            for (std::size_t c = 0; c < children; ++c) {
                const std::size_t size = below / children + (c < below % children ? 1 : 0);
                runs.emplace_back(at, at + size);
                at += size;
                if (c + 1 < children)
                    separators.push_back(at++);
            }
        }

        TreeNodeBytes bytes {};
        putLe32(bytes.data(), *offset);
        putLe32(bytes.data() + kParentAt, parent);
        bytes[kNodeIdAt] = nodeId;
        bytes[kEntryCountAt] = static_cast<unsigned char>(separators.size());
        if (!runs.empty()) {
            const auto left = node(runs[0].first, runs[0].second, height - 1, *offset, 0);
            if (!left)
                return std::nullopt;
            putLe32(bytes.data() + kLeftChildAt, *left);
            putLe32(bytes.data() + kLeftCountAt,
                    static_cast<std::uint32_t>(runs[0].second - runs[0].first));
        }
        for (std::size_t e = 0; e < separators.size(); ++e) {
            unsigned char* entry = bytes.data() + kEntriesAt + kEntrySize * e;
            putLe32(entry, m_values[separators[e]]);
            if (runs.empty())
                continue;
            const auto& run = runs[e + 1];
            const auto child = node(run.first, run.second, height - 1, *offset,
                                    static_cast<std::uint8_t>(e + 1));
            if (!child)
                return std::nullopt;
            putLe32(entry + 4, *child);
            putLe32(entry + 8, static_cast<std::uint32_t>(run.second - run.first));
        }
        m_nodes[index].bytes = bytes;
        return *offset;
    }

    const std::vector<std::uint32_t>& m_values;
    const std::function<std::optional<std::uint32_t>()>& m_placeNode;
    std::vector<PlacedTreeNode> m_nodes;
};

class TreeReader {
public:
    TreeReader(std::uint32_t count,
               const std::function<bool(std::uint32_t, TreeNodeBytes&)>& readNode)
        : m_count(count), m_readNode(readNode)
    {
        m_values.reserve(std::min<std::uint32_t>(count, 1u << 16));
    }

    // Appends the values below `offset`; false on any damage. `expected` is the count
    // the parent gives for this subtree.
    bool walk(std::uint32_t offset, std::uint32_t parent, std::uint32_t expected, int depth)
    {
        TreeNodeBytes bytes {};
        // A node reached twice would let a small file describe an endless tree.
        if (depth > kDeepest || !m_visited.insert(offset).second || !m_readNode(offset, bytes)
            || readLe32(bytes.data()) != offset || readLe32(bytes.data() + kParentAt) != parent)
            return false;
        const std::size_t entries = bytes[kEntryCountAt];
        if (entries == 0 || entries > kTreeNodeCapacity)
            return false;
        const std::size_t before = m_values.size();
        if (!child(bytes.data() + kLeftChildAt, bytes.data() + kLeftCountAt, offset, depth))
            return false;
        for (std::size_t e = 0; e < entries; ++e) {
            const unsigned char* entry = bytes.data() + kEntriesAt + kEntrySize * e;
            if (m_values.size() >= m_count)
                return false;
            m_values.push_back(readLe32(entry));
            if (!child(entry + 4, entry + 8, offset, depth))
                return false;
        }
        return m_values.size() - before == expected;
    }

    std::vector<std::uint32_t> take() { return std::move(m_values); }
    std::size_t nodesRead() const { return m_visited.size(); }

private:
    bool child(const unsigned char* pointer, const unsigned char* count, std::uint32_t parent,
               int depth)
    {
        const std::uint32_t offset = readLe32(pointer);
        const std::uint32_t values = readLe32(count);
        if (values == 0)
            return true; // readers never follow a child whose count is 0
        if (offset == 0 || values > m_count - m_values.size())
            return false;
        return walk(offset, parent, values, depth + 1);
    }

    std::uint32_t m_count;
    const std::function<bool(std::uint32_t, TreeNodeBytes&)>& m_readNode;
    std::vector<std::uint32_t> m_values;
    std::unordered_set<std::uint32_t> m_visited;
};

} // namespace

std::optional<BuiltTree> buildIndexTree(
    const std::vector<std::uint32_t>& values,
    const std::function<std::optional<std::uint32_t>()>& placeNode)
{
    return TreeBuilder(values, placeNode).build();
}

std::optional<std::vector<std::uint32_t>> readIndexTree(
    std::uint32_t root, std::uint32_t count,
    const std::function<bool(std::uint32_t offset, TreeNodeBytes& node)>& readNode,
    std::size_t* nodeCount)
{
    if (nodeCount)
        *nodeCount = 0;
    if (count == 0)
        return std::vector<std::uint32_t> {};
    if (root == 0)
        return std::nullopt;
    TreeReader reader(count, readNode);
    if (!reader.walk(root, 0, count, 0))
        return std::nullopt;
    if (nodeCount)
        *nodeCount = reader.nodesRead();
    return reader.take();
}

} // namespace mailmend::dbx
