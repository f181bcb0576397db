// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace mailmend::mailstore::oestore {

// The result of a store operation: 0 for success, negative for a failure.
enum class StoreStatus : std::int32_t {
    Ok = 0,
    InvalidArgument = -1, // a refused folder name, a parent other than the top level
    NotInitialized = -2,
    FolderExists = -3,    // the name, or its file, is taken
    FolderNotFound = -4,
    FolderBusy = -5,      // the folder is open already
    WriteFailed = -6,     // the disk refused a write, or a file could not be made
    StoreDamaged = -7,    // Folders.dbx or a folder file cannot be read
    EmptyMessage = -8,    // a message with no text cannot be stored
    WrongStream = -9,     // the stream or message id is not one of this folder's
    Cancelled = -10,      // the run was stopped
    Unexpected = -11,     // out of memory
    ListNotUpdated = -12, // the folder file is whole, but Folders.dbx could not record it
};

constexpr bool isFailure(StoreStatus status)
{
    return static_cast<std::int32_t>(status) < 0;
}

using FolderId = std::uint32_t;
using MessageId = std::uint32_t;

// The top level of the store: the parent of the folders a caller creates and lists.
inline constexpr FolderId kTopLevel = 0;

} // namespace mailmend::mailstore::oestore
