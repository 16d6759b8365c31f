// SPDX-License-Identifier: MIT
// What the header leaves out or gets wrong, line by line of the DBC file.
//
// Every finding about signals is read off the walk that writes the header in
// the form asked for: which signals it visits and the member names it gives
// them. A signal the walk passes over is explained by the signals it did
// visit.
//
// The findings are worked out on every conversion, so they are built without
// a temporary string per member: member names are compared as the records'
// bytes, read once per signal, and a text is put together only for a finding.

#include "bitwalk.h"
#include "dbcmatchers.h"
#include "reporttext.h"
#include <quarvel/cdbc.h>

#include <QByteArray>
#include <QFileInfo>
#include <QtEndian>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <iterator>

namespace
{

using BitWalk::MemberName;
using ReportText::Pen;
using ReportText::Text;

// The keywords of C99 and C11.
bool isCKeyword(const char *name, int length)
{
    static const char *const keywords[] = {
        "auto",           "break",        "case",     "char",    "const",    "continue",
        "default",        "do",           "double",   "else",    "enum",     "extern",
        "float",          "for",          "goto",     "if",      "inline",   "int",
        "long",           "register",     "restrict", "return",  "short",    "signed",
        "sizeof",         "static",       "struct",   "switch",  "typedef",  "union",
        "unsigned",       "void",         "volatile", "while",   "_Bool",    "_Complex",
        "_Imaginary",     "_Alignas",     "_Alignof", "_Atomic", "_Generic", "_Noreturn",
        "_Static_assert", "_Thread_local"};
    // Every keyword starts with a lower-case letter or an underscore, as few
    // signal names do.
    if (length == 0 || !((name[0] >= 'a' && name[0] <= 'z') || name[0] == '_'))
        return false;
    for (const char *keyword : keywords) {
        if (int(std::strlen(keyword)) == length && std::memcmp(keyword, name, size_t(length)) == 0)
            return true;
    }
    return false;
}

// A name's bytes so far, folded, and whether they are all letters, digits
// and '_'. Member names are told apart by a hash of this fold: byte k of a
// name goes into byte k % 8 of lane (k / 8) % 2, by exclusive or, so a part
// number's digits are folded in after a signal's name without reading the
// name again. Names that fold alike are compared whole. The header writes
// each byte of a record's name as one character, in UTF-8, so two member
// names are the same in the header exactly when their bytes are the same in
// the records: the records' bytes are folded.
struct NameFold {
    quint64 lanes[2] = {};
    int length = 0;
    bool words = true;

    // Appends a part number's digits, as the header writes them.
    void addPart(uint part)
    {
        if (part >= 10)
            addPart(part / 10);
        const uint at = uint(length++);
        lanes[at / 8 % 2] ^= quint64('0' + part % 10) << (8 * (at % 8));
    }
    // Its top bits pick a member's slot in the table of names.
    quint64 hash() const
    {
        return ((lanes[0] ^ quint64(length)) * 0x9E3779B97F4A7C15u) ^
               (lanes[1] * 0xC2B2AE3D27D4EB4Fu);
    }
};

// A record's name array up to its NUL (or its end), folded.
Q_ALWAYS_INLINE NameFold foldOfName(const char (&name)[DbcLimits::NameSize])
{
    NameFold result;
#ifdef __SSE2__
    // The array in three steps of 16, 16 and 8 bytes; the bits of the
    // masks below stand for its bytes.
    static_assert(DbcLimits::NameSize == 40, "a name array is read as 16 + 16 + 8 bytes");
    const __m128i chunks[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i *>(name)),
                               _mm_loadu_si128(reinterpret_cast<const __m128i *>(name + 16)),
                               _mm_loadl_epi64(reinterpret_cast<const __m128i *>(name + 32))};
    quint64 nuls = quint64(1) << DbcLimits::NameSize; // the array's end ends the name too
    for (int k = 0; k < 3; ++k)
        nuls |= quint64(uint(_mm_movemask_epi8(_mm_cmpeq_epi8(chunks[k], _mm_setzero_si128()))))
                << (16 * k);
    result.length = int(qCountTrailingZeroBits(nuls));
    const __m128i positions = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    quint64 wordBytes = 0;
    __m128i fold = _mm_setzero_si128();
    for (int k = 0; 16 * k < result.length; ++k) {
        // Signed comparisons: bytes from 0x80 up compare as negative.
        const __m128i bytes = chunks[k];
        const __m128i lower = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
        const __m128i digits = _mm_and_si128(_mm_cmpgt_epi8(bytes, _mm_set1_epi8('0' - 1)),
                                             _mm_cmplt_epi8(bytes, _mm_set1_epi8('9' + 1)));
        const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(lower, _mm_set1_epi8('a' - 1)),
                                              _mm_cmplt_epi8(lower, _mm_set1_epi8('z' + 1)));
        const __m128i words =
            _mm_or_si128(_mm_or_si128(digits, letters), _mm_cmpeq_epi8(bytes, _mm_set1_epi8('_')));
        wordBytes |= quint64(uint(_mm_movemask_epi8(words))) << (16 * k);
        // The bytes of the name, those past it zero, folded into 16.
        const __m128i inName =
            _mm_cmpgt_epi8(_mm_set1_epi8(char(result.length - 16 * k)), positions);
        fold = _mm_xor_si128(fold, _mm_and_si128(bytes, inName));
    }
    const quint64 inName = (quint64(1) << result.length) - 1;
    result.words = (wordBytes & inName) == inName;
    _mm_storeu_si128(reinterpret_cast<__m128i *>(result.lanes), fold);
#else
    // Eight bytes at a time, up to the word that holds the NUL.
    static_assert(DbcLimits::NameSize % 8 == 0, "name arrays are read in words");
    constexpr quint64 ones = 0x0101010101010101u, highBits = 0x8080808080808080u;
    const auto each = [](quint64 byte) { return byte * ones; };
    result.length = DbcLimits::NameSize;
    for (int at = 0; at < DbcLimits::NameSize; at += 8) {
        quint64 word;
        std::memcpy(&word, name + at, 8);
        word = qFromLittleEndian(word); // byte k of the name in bits 8k to 8k + 7
        const quint64 nuls = (word - ones) & ~word & highBits; // exact up to the first NUL
        const quint64 inName = nuls == 0 ? ~quint64(0) : (nuls & (0 - nuls)) - 1;
        word &= inName;
        result.lanes[at / 8 % 2] ^= word;
        if ((word & highBits) != 0) { // a byte from 0x80 up: no letter, digit or '_'
            result.words = false;
        } else {
            // Each byte is below 0x80, so adding a constant below 0x80 to
            // every byte carries into none of its neighbours; bit 7 of each
            // sum tells whether the byte reached a bound.
            const quint64 lower = word | each(0x20);
            const quint64 digits = (word + each(0x80 - '0')) & ~(word + each(0x7F - '9'));
            const quint64 letters = (lower + each(0x80 - 'a')) & ~(lower + each(0x7F - 'z'));
            const quint64 underscores = ~((word ^ each('_')) + each(0x7F));
            result.words =
                result.words && (~(digits | letters | underscores) & inName & highBits) == 0;
        }
        if (nuls != 0) {
            result.length = at + int(qCountTrailingZeroBits(nuls)) / 8;
            break;
        }
    }
#endif
    return result;
}

// Whether a record's name, as folded, is a C identifier (keywords aside): a
// word that does not start with a digit. Digits after it keep it one.
bool isIdentifier(const NameFold &fold, const char (&name)[DbcLimits::NameSize])
{
    return fold.words && fold.length > 0 && !DbcMatchers::isDigit(uchar(name[0]));
}

// How findings name a message or a signal whose line gave no name: not with
// an empty one. `out` is a text, or a pen with room for a signal's finding.
template <typename Out> Out &messageLabel(Out &out, const CanMsgInfo &msg)
{
    if (msg.msgName[0] == '\0')
        return out << u"message without a name: ";
    return (out << u"message ").name(msg.msgName) << u": ";
}

template <typename Out> Q_ALWAYS_INLINE Out &signalLabel(Out &out, const CanSignalInfo &sig)
{
    if (sig.signalName[0] == '\0')
        return out << u"signal without a name";
    return (out << u"signal ").name(sig.signalName);
}

Text &memberLabel(Text &out, const MemberName &name)
{
    if (name.length == 0)
        return out << "member without a name";
    return (out << "member ").utf8(name.bytes, name.length);
}

// Why no name is found on a BO_ line. The name is a word of ASCII letters,
// digits and underscores with white space before it and the colon right
// after it, so a blank before the colon (BO_ 869 DSU_CRUISE : 7 DSU) loses it.
const char *namelessReason(const QString &line)
{
    const int colon = line.indexOf(QLatin1Char(':'));
    if (colon < 1)
        return "no colon";
    const QChar before = line.at(colon - 1);
    if (before == QLatin1Char(' '))
        return "a blank before its colon";
    if (before.isSpace())
        return "white space before its colon";
    return "a character other than A-Z, a-z, 0-9 and _ in its name";
}

// The bits a signal covers in the header, from its start bit as laid out.
Pen &bitsLaidOut(Pen &out, const CanSignalInfo &sig)
{
    if (sig.bitLength == 1)
        return out << u"laid out at bit " << sig.bitStart;
    return out << u"laid out over bits " << sig.bitStart << u" to "
               << sig.bitStart + sig.bitLength - 1;
}

// Collects the findings of one message.
class MessageFindings
{
public:
    MessageFindings(const CanMsgInfo &msg, const DbcSourceMessage &source,
                    const BitWalk::Form &form, QVector<DbcFinding> &found)
        : msg(msg), source(source), found(found),
          slotsInUse(qMin<int>(msg.signalCnt, DbcLimits::MaxSignals)), form(form), starts(msg)
    {
        std::fill(std::begin(byHash), std::end(byHash), qint16(-1));
    }

    void signalsOfTheWalk();
    void signalsOfTheFrames();

private:
    // A member as the findings keep it: its name is its signal's (or the
    // reserves') with its part number, so only the name's hash is kept.
    struct Member {
        quint64 hash;
        int part;
        const CanSignalInfo *sig; // null: a reserve
    };
    static MemberName nameOf(int part, const CanSignalInfo *sig)
    {
        return BitWalk::withPart(
            sig ? BitWalk::latin1BytesAsUtf8(sig->signalName) : BitWalk::reserveName(), part);
    }
    // Whether two members of the same hash have the same name.
    Q_NEVER_INLINE static bool sameName(const Member &earlier, int part, const CanSignalInfo *sig)
    {
        return nameOf(earlier.part, earlier.sig) == nameOf(part, sig);
    }
    int slotOf(const CanSignalInfo &sig) const { return int(&sig - msg.signalInfo); }
    int lineOf(const CanSignalInfo *sig) const
    {
        return sig ? source.signalLines[slotOf(*sig)] : source.line;
    }
    // A new text, opened with the message's label.
    Text about() const
    {
        Text text;
        messageLabel(text, msg);
        return text;
    }
    void add(DbcFinding::Kind kind, const CanSignalInfo *sig, QString text)
    {
        found.append({kind, lineOf(sig), std::move(text)});
    }
    void member(int part, const CanSignalInfo *sig);
    Q_NEVER_INLINE void notInC(int part, const CanSignalInfo *sig, bool keyword);
    Q_NEVER_INLINE void twice(int part, const CanSignalInfo *sig, const CanSignalInfo *at);
    int indexOfEarlier(quint64 hash, int part, const CanSignalInfo *sig);
    // The start bit and the length as the DBC file writes them; without the
    // file's lines, the record's (its start bit mirrored back).
    int fileStartBit(const CanSignalInfo &sig) const
    {
        return source.line > 0 ? source.startBits[slotOf(sig)] : sig.bitStart ^ 7;
    }
    int fileLength(const CanSignalInfo &sig) const
    {
        return source.line > 0 ? source.bitLengths[slotOf(sig)] : sig.bitLength;
    }
    Pen &placed(Pen &out, const CanSignalInfo &sig) const;
    bool isWritten(const CanSignalInfo &sig) const
    {
        return (writtenSlots >> slotOf(sig) & 1) != 0;
    }
    const CanSignalInfo *writtenAt(int bit) const;
    Pen &notWrittenReason(Pen &out, const CanSignalInfo &sig);
    DbcFinding::Kind signalFinding(Pen &out, const CanSignalInfo &sig);
    template <typename Out> bool recordCannotHold(Out &out, const CanSignalInfo &sig) const;
    void memberNames(int part, const CanSignalInfo *sig);
    void laidOutBigEndian();

    // The message's label, written once for the findings of all its signals.
    static constexpr int LabelRoom = 64;
    static_assert(sizeof "message " - 1 + Pen::MostForName + 2 <= LabelRoom &&
                      sizeof "message without a name: " - 1 <= LabelRoom,
                  "room for either label");
    char16_t label[LabelRoom] = {};
    int labelLength = 0;

    const CanMsgInfo &msg;
    const DbcSourceMessage &source;
    QVector<DbcFinding> &found;
    const int slotsInUse;
    const BitWalk::Form form;
    const BitWalk::StartIndex starts; // the default walk's: the slot it takes at each start
    quint64 writtenStarts = 0;        // the start bits of the signals the walk writes
    // By slot, the signals the walk writes, and those of them that run past bit 63.
    quint64 writtenSlots = 0;
    quint64 pastBit63 = 0;
    // Member names with their signals (null: a reserve). Reserves are only
    // kept when a signal's name could be one of theirs.
    // Each member covers at least one bit, and the walk ends with the last
    // bit of a signal that starts by bit 63.
    Member members[DbcLimits::PayloadBits + DbcLimits::MaxBitNumber];
    int memberCount = 0;
    // The members by their names' hash, open addressing: each slot the index
    // of a member, or -1. Used while it is at most three quarters full, as
    // it always is: a struct has at most 96 members (63 of one bit, and the
    // 33 parts of a signal that runs from bit 63 over 255 bits).
    static constexpr int HashSlots = 128;
    qint16 byHash[HashSlots];
    bool reserveNames = false;
    // The signal whose members are being walked, and the fold of its name.
    const CanSignalInfo *named = nullptr;
    NameFold namedFold;
    quint64 namesChecked = 0; // by slot, the signals whose names were checked for C
    NameFold reserveFold;     // of "resev_", when reserves are kept
};

// A member line's name: no C identifier or a keyword (once per signal, at
// its first member), or the same as an earlier member of the struct (once,
// however often it recurs). The walk visits a signal's members one after
// another, so its name is read once, at the first.
void MessageFindings::member(int part, const CanSignalInfo *sig)
{
    if (sig && sig != named) {
        named = sig;
        namedFold = foldOfName(sig->signalName);
        // Once per signal: the frame form visits a signal's members byte by
        // byte, between those of others. Digits after a name make no keyword.
        const quint64 slotBit = quint64(1) << slotOf(*sig);
        if ((namesChecked & slotBit) == 0) {
            namesChecked |= slotBit;
            const bool keyword = part < 0 && isCKeyword(sig->signalName, namedFold.length);
            if (keyword || !isIdentifier(namedFold, sig->signalName))
                notInC(part, sig, keyword);
        }
    }
    NameFold fold = sig ? namedFold : reserveFold;
    if (part >= 0)
        fold.addPart(uint(part));
    const quint64 hash = fold.hash();
    const int earlier = indexOfEarlier(hash, part, sig);
    if (earlier >= 0) {
        twice(part, sig, sig ? sig : members[earlier].sig);
        return;
    }
    members[memberCount++] = {hash, part, sig};
}

// The findings of a member's name, apart from the member's own path through
// the walk, which they would only slow down.
void MessageFindings::notInC(int part, const CanSignalInfo *sig, bool keyword)
{
    Text text = about();
    memberLabel(text, nameOf(part, sig)) << (keyword ? " is a C keyword" : " is no C identifier");
    add(DbcFinding::NoCName, sig, text);
}

// A member whose name an earlier member of the struct has, told at the later
// one's signal, or else at the earlier one's.
void MessageFindings::twice(int part, const CanSignalInfo *sig, const CanSignalInfo *at)
{
    Text text = about();
    memberLabel(text, nameOf(part, sig)) << " appears twice in ";
    text.name(msg.msgName) << "_Type";
    add(DbcFinding::MemberTwice, at, text);
}

// The earlier member of the same name, or -1; a new name is entered for the
// member about to be appended. Names are never entered twice, so there is at
// most one earlier member of a name. Only members whose names have the same
// hash have their names put together to be compared.
int MessageFindings::indexOfEarlier(quint64 hash, int part, const CanSignalInfo *sig)
{
    const auto same = [&](const Member &earlier) {
        return earlier.hash == hash && sameName(earlier, part, sig);
    };
    if (memberCount >= HashSlots * 3 / 4) {
        for (int i = 0; i < memberCount; ++i) {
            if (same(members[i]))
                return i;
        }
        return -1;
    }
    for (uint slot = uint(hash >> 56) % HashSlots;; slot = (slot + 1) % HashSlots) {
        const int index = byHash[slot];
        if (index < 0) {
            byHash[slot] = qint16(memberCount);
            return -1;
        }
        if (same(members[index]))
            return index;
    }
}

// A signal with its start bit as the DBC file writes it and the bit the
// header lays it out at. The header mirrors every start bit within its byte
// (bit k becomes 7 - k), so the two always differ.
Q_ALWAYS_INLINE Pen &MessageFindings::placed(Pen &out, const CanSignalInfo &sig) const
{
    return signalLabel(out, sig) << u" (start bit " << fileStartBit(sig) << u", laid out at "
                                 << sig.bitStart << u")";
}

// The written signal that covers a bit, or null. The signals the walk writes
// never overlap, as it jumps past each one it writes: only the last of them
// that starts by the bit can cover it.
const CanSignalInfo *MessageFindings::writtenAt(int bit) const
{
    const quint64 startsBefore = bit >= DbcLimits::PayloadBits - 1
                                     ? writtenStarts
                                     : writtenStarts & ((quint64(2) << bit) - 1);
    if (startsBefore == 0)
        return nullptr;
    const int start = DbcLimits::PayloadBits - 1 - int(qCountLeadingZeroBits(startsBefore));
    const CanSignalInfo &sig = msg.signalInfo[starts.firstSlot[start]];
    return bit < sig.bitStart + sig.bitLength ? &sig : nullptr;
}

// Why the walk passed over a signal, told by the signals it wrote: it reached
// the start bit and took an earlier slot there, or it never stopped there
// because a written signal covers it, or the start lies beyond bit 63.
Q_ALWAYS_INLINE Pen &MessageFindings::notWrittenReason(Pen &out, const CanSignalInfo &sig)
{
    const CanSignalInfo *other = writtenAt(sig.bitStart);
    if (!other)
        return out << u"it starts after bit 63";
    if (other->bitStart == sig.bitStart)
        out << u"it shares its start bit with ";
    else
        out << u"it starts inside ";
    return bitsLaidOut(signalLabel(out, *other) << u" (", *other) << u")";
}

Q_NEVER_INLINE void MessageFindings::signalsOfTheWalk()
{
    const int reservePrefix = BitWalk::reserveName().length;
    for (int slot = 0; slot < slotsInUse && !reserveNames; ++slot)
        reserveNames = msg.signalInfo[slot].signalName[0] == 'r' &&
                       std::memcmp(msg.signalInfo[slot].signalName, BitWalk::ReserveName,
                                   size_t(reservePrefix)) == 0;
    if (reserveNames)
        reserveFold = foldOfName(BitWalk::ReserveName);
    if (form.frames) {
        signalsOfTheFrames();
        return;
    }
    BitWalk::walkParts(msg, starts, [&](int part, int, const CanSignalInfo *sig, int) {
        if (sig && part <= 0) {
            const quint64 slotBit = quint64(1) << slotOf(*sig);
            writtenSlots |= slotBit;
            if (sig->bitStart + sig->bitLength > DbcLimits::PayloadBits)
                pastBit63 |= slotBit;
            writtenStarts |= quint64(1) << sig->bitStart;
        }
        memberNames(part, sig);
    });
    laidOutBigEndian();
    static_assert(DbcLimits::MaxSignals <= 64, "a bit for each slot");
    const quint64 inUse =
        slotsInUse == 64 ? ~quint64(0) : (quint64(1) << slotsInUse) - 1; // each slot in use
    // The signals not written, or written past bit 63, in the order of their slots.
    const quint64 toTell = (inUse & ~writtenSlots) | pastBit63;
    if (toTell == 0)
        return;
    Pen pen(label);
    labelLength = int(messageLabel(pen, msg).end() - label);
    // Each of them a finding, written in its place in the list.
    int at = found.size();
    found.resize(at + qPopulationCount(toTell));
    DbcFinding *const list = found.data();
    for (quint64 left = toTell; left != 0; left &= left - 1) {
        const CanSignalInfo &sig = msg.signalInfo[qCountTrailingZeroBits(left)];
        DbcFinding &finding = list[at++];
        // The most a signal's finding takes: its label, two names, four
        // numbers, and words between them that come to less than 130
        // characters. That is more than the label's whole room, which is
        // copied.
        const int mostUnits = labelLength + 2 * Pen::MostForName + 4 * Pen::MostForNumber + 130;
        static_assert(2 * Pen::MostForName + 4 * Pen::MostForNumber + 130 >= LabelRoom,
                      "room for the copy of the label's room");
        finding.text = ReportText::penned(mostUnits, [&](Pen &out) {
            finding.kind = signalFinding(out.units(label, labelLength), sig);
        });
        finding.line = lineOf(&sig);
    }
}

// The finding of a signal the header does not hold whole: why it is not
// written, or that its struct runs past bit 63. Its pieces are inlined into
// the writing of its text, so that the pen's place stays in a register.
Q_ALWAYS_INLINE DbcFinding::Kind MessageFindings::signalFinding(Pen &out, const CanSignalInfo &sig)
{
    if (recordCannotHold(out, sig)) {
        // Told as it is in either form.
    } else if (!isWritten(sig)) {
        notWrittenReason(placed(out, sig) << u" is not written: ", sig);
    } else {
        placed(out, sig) << u" runs past bit 63 to bit " << sig.bitStart + sig.bitLength - 1
                         << u": ";
        out.name(msg.msgName) << u"_Type is wider than 64 bits";
        return DbcFinding::SignalPastBit63;
    }
    return DbcFinding::SignalNotWritten;
}

// A signal that neither walk can write for what its record holds: a start
// bit or a length the record cannot hold (the reader keeps such a signal out
// of both walks), or length 0. Tells why and returns true; false for
// another signal, and nothing is written then.
template <typename Out>
Q_ALWAYS_INLINE bool MessageFindings::recordCannotHold(Out &out, const CanSignalInfo &sig) const
{
    if (fileStartBit(sig) > DbcLimits::MaxBitNumber) {
        signalLabel(out, sig) << u" (start bit " << fileStartBit(sig)
                              << u") is not written: it starts after bit 63";
    } else if (fileLength(sig) > DbcLimits::MaxBitNumber) {
        signalLabel(out, sig) << u" (start bit " << fileStartBit(sig)
                              << u") is not written: its length " << fileLength(sig)
                              << u" is more than the header can hold";
    } else if (sig.bitLength == 0) {
        signalLabel(out, sig) << u" is not written: its length is 0";
    } else {
        return false;
    }
    return true;
}

// A member of the walk, for the findings about names: reserves only when a
// signal's name could be one of theirs.
void MessageFindings::memberNames(int part, const CanSignalInfo *sig)
{
    if (sig || reserveNames)
        member(part, sig);
}

// The default form lays every signal out big-endian: a little-endian signal
// of more than one bit reads its frame bits on no compiler.
void MessageFindings::laidOutBigEndian()
{
    for (quint64 left = writtenSlots & form.littleEndianSlots; left != 0; left &= left - 1) {
        const CanSignalInfo &sig = msg.signalInfo[qCountTrailingZeroBits(left)];
        if (sig.bitLength < 2)
            continue;
        Text text = about();
        signalLabel(text, sig) << u" (start bit " << fileStartBit(sig)
                               << u", little-endian) is laid out big-endian: it does not read "
                                  u"the frame bits the file gives it on any compiler";
        add(DbcFinding::SignalBigEndian, &sig, text);
    }
}

// Frame bits as runs, such as "frame bit 3" or "frame bits 0 to 3, 12 to 15".
Text &frameBitRuns(Text &out, quint64 bits)
{
    if (qPopulationCount(bits) == 1)
        out << u"frame bit ";
    else
        out << u"frame bits ";
    bool first = true;
    while (bits != 0) {
        const int low = int(qCountTrailingZeroBits(bits));
        int high = low;
        while (high < 63 && (bits >> (high + 1) & 1) != 0)
            ++high;
        if (!first)
            out << u", ";
        first = false;
        out << low;
        if (high > low)
            out << u" to " << high;
        bits &= high == 63 ? 0 : ~quint64(0) << (high + 1);
    }
    return out;
}

// The frame form's findings: the names of its members, and each signal it
// does not write, told at its line: one that shares a frame bit with a
// signal written before it (its bits are taken in the file's order), one
// that reaches beyond byte 7, or one its record cannot hold.
void MessageFindings::signalsOfTheFrames()
{
    const BitWalk::FrameMap map(msg, form.littleEndianSlots);
    BitWalk::walkFrameParts(
        msg, map, form.msbFirst,
        [&](int part, int, const CanSignalInfo *sig, int) { memberNames(part, sig); });
    writtenSlots = map.writtenSlots;
    for (int slot = 0; slot < slotsInUse; ++slot) {
        if (isWritten(msg.signalInfo[slot]))
            continue;
        const CanSignalInfo &sig = msg.signalInfo[slot];
        Text text = about();
        if (!recordCannotHold(text, sig)) {
            const BitWalk::FrameBits frame(sig,
                                           BitWalk::isLittleEndian(form.littleEndianSlots, slot));
            signalLabel(text, sig)
                << u" (start bit " << frame.start << u", length " << frame.length;
            if (frame.littleEndian)
                text << u", little-endian) is not written: ";
            else
                text << u", big-endian) is not written: ";
            if (frame.beyondByte7) {
                text << u"it reaches beyond byte 7 of the frame";
            } else {
                // The first of its bits that a signal before it holds names
                // that signal; signals after it may hold others.
                int earlier = -1;
                for (quint64 left = frame.bits & map.taken; earlier < 0; left &= left - 1) {
                    const int owner = map.owner[qCountTrailingZeroBits(left)];
                    if (owner < slot)
                        earlier = owner;
                }
                const CanSignalInfo &other = msg.signalInfo[earlier];
                text << u"it shares ";
                frameBitRuns(text, frame.bits & BitWalk::FrameBits(
                                                    other, BitWalk::isLittleEndian(
                                                               form.littleEndianSlots, earlier))
                                                    .bits)
                    << u" with ";
                signalLabel(text, other);
            }
        }
        add(DbcFinding::SignalNotWritten, &sig, text);
    }
}

// The line each message name and each identifier is first seen at: open
// addressing over at least twice as many slots as there are messages.
class FirstLines
{
public:
    explicit FirstLines(int messages)
    {
        int size = 16;
        while (size < 2 * messages)
            size *= 2;
        names.resize(size);
        identifiers.resize(size);
        mask = uint(size - 1);
    }
    // The line of the first message with the same name, or else null (and
    // the message's line is kept for its name). `hash` is its name's.
    const int *nameSeen(const CanMsgInfo &msg, quint64 hash, int line)
    {
        for (uint at = uint(hash >> 32) & mask;; at = (at + 1) & mask) {
            Slot &slot = names[at];
            if (!slot.used) {
                slot = {true, msg.msgName, hash, 0, line};
                return nullptr;
            }
            if (slot.hash == hash && std::strncmp(slot.name, msg.msgName, DbcLimits::NameSize) == 0)
                return &slot.line;
        }
    }
    // The same for identifiers.
    const int *identifierSeen(qint32 id, int line)
    {
        for (uint at = (quint32(id) * 2654435761u >> 7) & mask;; at = (at + 1) & mask) {
            Slot &slot = identifiers[at];
            if (!slot.used) {
                slot = {true, nullptr, 0, id, line};
                return nullptr;
            }
            if (slot.id == id)
                return &slot.line;
        }
    }

private:
    struct Slot {
        bool used;
        const char *name;
        quint64 hash; // the name's
        qint32 id;
        int line;
    };
    QVector<Slot> names;
    QVector<Slot> identifiers;
    uint mask = 0;
};

// What the reader could not keep, and the struct's name and identifier.
void messageFindings(const CanMsgInfo &msg, const DbcSourceMessage &source, FirstLines &firstLines,
                     QVector<DbcFinding> &found)
{
    const auto add = [&](DbcFinding::Kind kind, int line, const QString &what) {
        found.append({kind, line, what});
    };
    const auto about = [&msg] {
        Text text;
        messageLabel(text, msg);
        return text;
    };
    if (!source.fullName.isNull())
        add(DbcFinding::NameCut, source.line,
            Text() << "message name cut to 39 bytes: " << source.fullName);
    if (msg.msgName[0] == '\0')
        add(DbcFinding::MessageWithoutName, source.line,
            Text() << "message without a name (" << namelessReason(source.namelessLine)
                   << "): its struct is called _Type");
    // The struct's name is the message's and "_Type"; two structs have the
    // same name when their messages have.
    const NameFold name = foldOfName(msg.msgName);
    const bool nameInC = name.length == 0 || isIdentifier(name, msg.msgName);
    const auto structName = [&] { return QByteArray(msg.msgName, name.length) + "_Type"; };
    if (!nameInC)
        add(DbcFinding::NoCName, source.line,
            about() << structName().constData() << " is no C identifier");
    if (const int *line = firstLines.nameSeen(msg, name.hash(), source.line))
        add(DbcFinding::StructTwice, source.line,
            about() << structName().constData() << " is defined already at line " << *line);
    if (const int *line = firstLines.identifierSeen(msg.msgId, source.line))
        add(DbcFinding::IdentifierTwice, source.line,
            about() << "identifier 0x" << QString::number(quint32(msg.msgId), 16)
                    << " is that of the message at line " << *line << " too");
    if (source.droppedLines == 1)
        add(DbcFinding::SignalLinesDropped, source.firstDroppedLine,
            about() << "1 signal line after the 64th is dropped");
    else if (source.droppedLines > 1)
        add(DbcFinding::SignalLinesDropped, source.firstDroppedLine,
            about() << source.droppedLines << " signal lines after the 64th are dropped");
    for (const auto &cut : source.fullSignalNames)
        add(DbcFinding::NameCut, source.signalLines[cut.first],
            about() << "signal name cut to 39 bytes: " << cut.second);
}

} // namespace

QVector<DbcFinding> CDBC::findings(const DbcHeaderForm &form, const DbcByteOrders &byteOrders) const
{
    QVector<DbcFinding> found;
    if (msgTable == nullptr || msgCnt < 1) {
        found.append({DbcFinding::NoMessage, 0, QStringLiteral("no message found")});
        return found;
    }
    FirstLines firstLines(msgCnt);
    const DbcSourceMessage unknown;
    for (int i = 0; i < msgCnt; ++i) {
        const DbcSourceMessage &source = i < sourceMessages.size() ? sourceMessages.at(i) : unknown;
        messageFindings(msgTable[i], source, firstLines, found);
        BitWalk::Form walkForm = BitWalk::formOf(form, byteOrders, i);
        if (byteOrders.isEmpty())
            walkForm.littleEndianSlots = source.littleEndianSlots;
        MessageFindings(msgTable[i], source, walkForm, found).signalsOfTheWalk();
    }
    // In line order; the findings of a file come mostly in that order already.
    const auto byLine = [](const DbcFinding &a, const DbcFinding &b) { return a.line < b.line; };
    if (!std::is_sorted(found.cbegin(), found.cend(), byLine))
        std::stable_sort(found.begin(), found.end(), byLine);
    return found;
}

namespace
{

// The line after a file's findings: their total and how many of each kind,
// such as "FILE: 3 warnings: 2 signals not written, 1 running past bit 63".
QString closingLine(const QString &dbcFile, const QVector<DbcFinding> &findings)
{
    static const char *const kinds[][2] = {
        {"signal not written", "signals not written"},
        {"running past bit 63", "running past bit 63"},
        {"laid out big-endian", "laid out big-endian"},
        {"message over 64 signals", "messages over 64 signals"},
        {"name cut to 39 bytes", "names cut to 39 bytes"},
        {"name invalid in C", "names invalid in C"},
        {"member twice in its struct", "members twice in their struct"},
        {"struct name twice", "struct names twice"},
        {"identifier twice", "identifiers twice"},
        {"message without a name", "messages without a name"},
        {"file without messages", "files without messages"},
    };
    static_assert(std::size(kinds) == DbcFinding::KindCount, "a wording for every kind");
    int perKind[DbcFinding::KindCount] = {};
    for (const DbcFinding &finding : findings)
        ++perKind[finding.kind];
    Text line;
    line << dbcFile << ": " << ReportText::counted(findings.size(), "warning", "warnings") << ": ";
    return ReportText::kindCounts(line, perKind, kinds);
}

} // namespace

QStringList CDBC::findingsReport(const QString &program, const QString &dbcFile,
                                 const QVector<DbcFinding> &findings)
{
    QStringList lines;
    if (findings.isEmpty())
        return lines;
    lines.reserve(findings.size() + 1);
    for (const DbcFinding &finding : findings)
        lines << ReportText::warningLine(program, dbcFile, finding.line, finding.text);
    lines << closingLine(dbcFile, findings);
    return lines;
}

// For a reader who has the file in front of them: its name once, with the
// totals, and each finding by its line alone, so that the message and the
// signal come first on every line.
QStringList CDBC::findingsDetails(const QString &dbcFile, const QVector<DbcFinding> &findings)
{
    QStringList lines;
    if (findings.isEmpty())
        return lines;
    lines.reserve(findings.size() + 1);
    lines << closingLine(QFileInfo(dbcFile).fileName(), findings);
    for (const DbcFinding &finding : findings) {
        if (finding.line == 0)
            lines << finding.text;
        else
            lines << (Text() << "line " << finding.line << ": " << finding.text);
    }
    return lines;
}
