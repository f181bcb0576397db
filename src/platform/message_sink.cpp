// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/message_sink.h"

#include <atomic>
#include <cstdio>

namespace mailmend::platform {
namespace {

StderrMessageSink g_stderrSink;
std::atomic<MessageSink*> g_sink {nullptr};

} // namespace

MessageAnswer StderrMessageSink::show(const std::string& text, const std::string& caption,
                                      MessageStyle style)
{
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    return style == MessageStyle::YesNoQuestion ? MessageAnswer::Yes : MessageAnswer::Ok;
}

MessageSink& messageSink()
{
    MessageSink* sink = g_sink.load();
    return sink ? *sink : g_stderrSink;
}

void setMessageSink(MessageSink* sink)
{
    g_sink.store(sink);
}

} // namespace mailmend::platform
