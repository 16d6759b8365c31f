// SPDX-License-Identifier: MIT
#include "debuglog.h"

#include <QDebug>
#include <QLoggingCategory>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstring>

namespace
{

// Characters collected before they are handed on.
constexpr int FlushAt = 1 << 16;

struct State {
    QtMessageHandler previous = nullptr; // set by install()
    int batches = 0;                     // Batch objects alive
    Qt::HANDLE thread = nullptr;         // the thread that runs the conversion
    QString collected;                   // lines, each ended by a line feed
};

State &state()
{
    static State s;
    return s;
}

bool collecting(const State &s)
{
    return s.previous != nullptr && s.batches > 0 && QThread::currentThreadId() == s.thread;
}

template <typename Text> void collect(State &s, const Text &text)
{
    s.collected.append(text);
    s.collected.append(QLatin1Char('\n'));
    if (s.collected.size() >= FlushAt)
        DebugLog::flush();
}

bool defaultCategory(const QMessageLogContext &context)
{
    return context.category == nullptr || std::strcmp(context.category, "default") == 0;
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    State &s = state();
    if (type == QtDebugMsg && defaultCategory(context) && collecting(s)) {
        collect(s, message);
        return;
    }
    DebugLog::flush();
    s.previous(type, context, message);
}

} // namespace

void DebugLog::install()
{
    State &s = state();
    if (s.previous == nullptr)
        s.previous = qInstallMessageHandler(handleMessage);
}

void DebugLog::uninstall()
{
    State &s = state();
    if (s.previous == nullptr)
        return;
    flush();
    qInstallMessageHandler(s.previous);
    s.previous = nullptr;
}

void DebugLog::flush()
{
    State &s = state();
    if (s.collected.isEmpty() || s.previous == nullptr)
        return;
    // One message for the whole piece; the handler ends it with its line feed.
    QString piece;
    piece.swap(s.collected);
    piece.chop(1);
    s.collected.reserve(FlushAt + 256);
    s.previous(QtDebugMsg, QMessageLogContext(), piece);
}

namespace
{
std::atomic<bool> engineLinesOn{true};
}

// qDebug() builds its text even when the "default" category's debug output is
// switched off and the line is then dropped; asking first skips that work.
bool DebugLog::enabled()
{
    if (!engineLinesOn.load(std::memory_order_relaxed))
        return false;
    const QLoggingCategory *category = QLoggingCategory::defaultCategory();
    return !category || category->isDebugEnabled();
}

void DebugLog::setEngineLines(bool on)
{
    engineLinesOn.store(on, std::memory_order_relaxed);
}

bool DebugLog::engineLines()
{
    return engineLinesOn.load(std::memory_order_relaxed);
}

void DebugLog::line(QLatin1String text)
{
    State &s = state();
    if (collecting(s))
        collect(s, text);
    else
        qDebug().noquote() << text;
}

DebugLog::Batch::Batch()
{
    State &s = state();
    if (s.batches++ == 0)
        s.thread = QThread::currentThreadId();
}

DebugLog::Batch::~Batch()
{
    State &s = state();
    if (--s.batches == 0)
        flush();
}
