// SPDX-License-Identifier: MIT
#ifndef DEBUGLOG_H
#define DEBUGLOG_H

#include <QLatin1String>

// The engine's debug lines, at the speed of the disk.
//
// A conversion of a large DBC file logs a line per signal field, some 150,000
// lines. Written one by one through QDebug and a flush each, they cost many
// times the conversion itself. Once install() has run (the window and
// quarvel-cli --verbose do so), the debug lines of the "default" category that
// come while a conversion runs (while a Batch lives) are collected, the
// engine's fixed lines without going through QDebug at all, and handed on to
// the message handler that was there before, in pieces of many lines. That
// handler still decides where they go (stderr, or the debugger on Windows);
// the lines and their order do not change. The batch is flushed before any
// note is shown and when the conversion ends, and any other message first
// flushes what is collected, so nothing is reordered.
namespace DebugLog
{

// Installs the batching message handler over the current one; uninstall()
// flushes and puts the previous one back.
void install();
void uninstall();

// Hands on what has been collected.
void flush();

// Whether the engine's debug lines are wanted at all: switched on (see
// CDBC::setDebugLines) and wanted by the "default" category.
bool enabled();

// The engine's own switch for its debug lines, on by default.
void setEngineLines(bool on);
bool engineLines();

// One debug line, as `qDebug().noquote() << text` writes it.
void line(QLatin1String text);

// Collects debug lines while it lives, when install() has run; flushes them at its end.
class Batch
{
public:
    Batch();
    ~Batch();
    Batch(const Batch &) = delete;
    Batch &operator=(const Batch &) = delete;
};

} // namespace DebugLog

// The engine's debug lines: qDebug() while they are wanted; otherwise nothing
// of the line is built, its arguments not even evaluated.
#define DBC_DEBUG                                                                                  \
    for (bool dbcDebugWanted = DebugLog::enabled(); dbcDebugWanted; dbcDebugWanted = false)        \
    qDebug

#endif // DEBUGLOG_H
