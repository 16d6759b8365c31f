// SPDX-License-Identifier: MIT
#ifndef CDBC_H
#define CDBC_H

#include "canmsginfo.h"
#include "dbcfindings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <type_traits>

// The order in which a compiler allocates the bit-fields that share a byte:
// from bit 0 up (LsbFirst: gcc, clang, MinGW and MSVC on x86 and ARM, and
// most microcontroller compilers), or from bit 7 down (MsbFirst: big-endian
// PowerPC, for one).
enum class DbcBitOrder { LsbFirst, MsbFirst };

// How the header is written, and whether its layout check is written beside it.
//
// The default form lays every signal out big-endian from its start bit
// mirrored within its byte, part 0 the most significant: firmware that copies
// a frame's 8 data bytes into a struct reads big-endian signals right on a
// compiler that fills bytes from bit 7. The frame form puts every signal at
// the bits the DBC file gives it, in its own byte order, one member per byte
// it touches (part k in the k-th byte), each struct exactly the 8 data bytes,
// with each byte's members declared in the order `bitOrder` names: it reads
// right on the compiler it is written for.
struct DbcHeaderForm {
    bool frames = false;
    DbcBitOrder bitOrder = DbcBitOrder::LsbFirst; // for the frame form only
    bool layoutCheck = false;                     // also write "dbc_2_struct_check.c"
};

// The byte order of each message's signals: one mask per message of the
// table, bit s set where slot s holds a little-endian signal (@1). A message
// without a mask, and every clear bit, is big-endian (@0).
using DbcByteOrders = QVector<quint64>;

// The DBC conversion engine: reads a DBC file into a table of fixed-size
// message records, writes "dbc_2_struct.h" from it, and packs raw signal
// values into a message's eight data bytes.
class CDBC : public QObject
{
    Q_OBJECT

public:
    // Receives every note the engine shows the user: its title, its text and
    // its details. Only the success note of transDbc() has details, and only
    // when the header leaves something out: findingsDetails() of its
    // findings, one line each; every other note has none. The window shows a
    // note as a message box without a parent window; while no notifier is set
    // a note is written as a warning.
    using Notifier =
        std::function<void(const QString &title, const QString &text, const QString &details)>;

    // Why the last readDbc() call failed, so the driver can tell the user.
    enum class ReadError { None, FileNotOpen, TooManyMessages };

    CDBC();
    ~CDBC() override;

    // Conversion driver: read, clear data bytes, flip start bits, write the
    // header. True when the header was written; its success note carries
    // the findings as details.
    bool transDbc(QString dbcPath, QString outputDir);
    // Its first half: read, clear data bytes, flip start bits. True when the
    // file was read; a failure is told to the user.
    bool loadDbc(QString dbcPath);
    // What the header of the loaded table leaves out or gets wrong, in the
    // order of the DBC file's lines; derived from the walk that writes the
    // header in that form. The signals are taken in the byte orders given;
    // when none are given, in those of the last read.
    QVector<DbcFinding> findings(const DbcHeaderForm &form = DbcHeaderForm(),
                                 const DbcByteOrders &byteOrders = DbcByteOrders()) const;
    // The byte orders of the last read's signals, one mask per record.
    DbcByteOrders byteOrders() const;
    // Findings as compilers write their warnings, one line each:
    // "FILE:LINE: warning: TEXT", or "PROGRAM: warning: TEXT in FILE" for the
    // file as a whole; then their total and how many there are of each kind.
    // Empty when there are none.
    static QStringList findingsReport(const QString &program, const QString &dbcFile,
                                      const QVector<DbcFinding> &findings);
    // The same findings as the success note's details give them: first
    // "NAME: " and the totals, NAME the file's name without its folder, then
    // "line LINE: TEXT" for each (TEXT alone for the file as a whole).
    // Empty when there are none.
    static QStringList findingsDetails(const QString &dbcFile, const QVector<DbcFinding> &findings);
    // Mirrors every signal's start bit within its byte (bit k becomes bit 7 - k).
    void flipStartBits(CanMsgInfo *table, int count);

    // DBC reader. Allocates the table through the out-parameters and fills it;
    // returns 0 on success, -1 on failure (see lastReadError()). When `table`
    // is the address of this object's msgTable, the previous table is released.
    int readDbc(CanMsgInfo **table, int *count, QString dbcPath);
    // Runs `pattern` globally over `text`; stores each whole match into
    // results[0..] and the number of matches into *resultCnt. Returns -1 and
    // touches nothing when the pattern is rejected. The caller's array must
    // hold as many slots as there can be matches.
    int regexCaptureAll(QString pattern, QString text, QString *results, int *resultCnt);
    ReadError lastReadError() const { return readError; }
    // Where each record of the last read stands in the DBC file: its BO_ and
    // SG_ lines, one entry per record of msgTable.
    const QVector<DbcSourceMessage> &messageSources() const { return sourceMessages; }

    // Why the last conversion (or read, or preparation) failed: the file or
    // directory concerned and the system's reason. Empty until a failure.
    QString failedPath() const { return failurePath; }
    QString failureReason() const { return failureText; }

    // Makes sure the directory exists, checks that `fileName` can be replaced
    // in it and restores the working directory. False when it cannot.
    bool prepareOutputFile(QString dirPath, QString fileName);
    // Replaces "dbc_2_struct.h" in `outputDir` by the header of the table, in
    // one step, and tells the user. True when the header was written. With
    // form.layoutCheck, "dbc_2_struct_check.c" is written beside it: both are
    // written in full before either replaces its old file, so that a failed
    // write leaves both old files. The table's signals are taken in the byte
    // orders given; when none are given and the table is this object's own,
    // in those of the last read.
    bool writeStructHeader(CanMsgInfo *table, int count, QString outputDir,
                           const DbcHeaderForm &form = DbcHeaderForm(),
                           const DbcByteOrders &byteOrders = DbcByteOrders());
    // The exact bytes of the header for a table (CR LF line ends included),
    // its signals in the byte orders given (the frame form needs them).
    static QByteArray buildStructHeader(const CanMsgInfo *table, int count,
                                        const DbcHeaderForm &form = DbcHeaderForm(),
                                        const DbcByteOrders &byteOrders = DbcByteOrders());
    // The exact bytes of the header's layout check, "dbc_2_struct_check.c":
    // C that proves, on the compiler that builds it, that every signal the
    // header writes reads from its members, once a frame's 8 data bytes are
    // copied into its struct, the value the DBC file puts at its bits (its
    // start bit, length and byte order).
    static QByteArray buildLayoutCheck(const CanMsgInfo *table, int count,
                                       const DbcHeaderForm &form = DbcHeaderForm(),
                                       const DbcByteOrders &byteOrders = DbcByteOrders());

    // The one seam through which the engine shows notes. Returns the previous
    // notifier; passing an empty function restores the default.
    static Notifier setNotifier(Notifier notifier);
    // A notifier of title and text alone gets every note without its details.
    template <
        typename TwoArguments,
        std::enable_if_t<std::is_invocable_v<TwoArguments &, const QString &, const QString &>,
                         bool> = true>
    static Notifier setNotifier(TwoArguments notifier)
    {
        return setNotifier(
            Notifier([notifier](const QString &title, const QString &text,
                                const QString &) mutable { notifier(title, text); }));
    }
    static void notify(const QString &title, const QString &text,
                       const QString &details = QString());

    // Switches the engine's own debug lines (every step of a read and of a
    // conversion, on Qt's debug stream in the category "default") on or off
    // for the whole process; on by default. Off, not one of them is built,
    // and the program's own debug lines are not touched.
    static void setDebugLines(bool on);
    static bool debugLines();

    // The message table: msgCnt records in one heap block owned by this object.
    CanMsgInfo *msgTable;
    int msgCnt;

public slots:
    void canInfoTransferData(QString canInfoName, UINT32 value);

private:
    void setFailure(const QString &path, const QString &reason);
    bool writeHeader(const CanMsgInfo *table, int count, const QString &outputDir,
                     const QString &successDetails, const DbcHeaderForm &form,
                     const DbcByteOrders &byteOrders);

    ReadError readError = ReadError::None;
    QVector<DbcSourceMessage> sourceMessages; // one per record of the last read
    QString failurePath;
    QString failureText;
};

#endif // CDBC_H
