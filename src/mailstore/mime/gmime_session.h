// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

// GMime's types by their tags only: GMime's headers (and GLib's under them) must stay out
// of every header file, because GLib's macros clash with Qt's.
struct _GMimeObject;
struct _GMimeParserOptions;
struct _GMimeStream;

namespace mailmend::mailstore::mime {

// Readies GMime once for the whole process; any thread may call it, any number of times.
void ensureGMime();

// The options of every parse: lenient about encoded words and parameters as mailers
// write them, with fallback charsets for raw 8-bit header text. Owned by this module.
_GMimeParserOptions* parserOptions();

// Drops one reference of a GObject (null is allowed).
void releaseObject(void* object);

struct ObjectRelease {
    void operator()(void* object) const { releaseObject(object); }
};

// One owned reference of a GObject.
template <class T>
using ObjectRef = std::unique_ptr<T, ObjectRelease>;

} // namespace mailmend::mailstore::mime
