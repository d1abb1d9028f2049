// Fuzz target for the ASCII protocol client's decoders: the reply rule fed
// byte by byte as a reply arrives, the value and error letter taken out of
// every prefix, the station box text, and the tag-file reader in all three
// layouts.
#include "ascii/AsciiProtocol.h"
#include "ascii/TagFile.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kestrune::ascii;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void fuzzReplies(QByteArrayView data) {
    const qsizetype limit = std::min<qsizetype>(data.size(), 512);
    for (qsizetype n = 0; n <= limit; ++n) {
        const QByteArrayView rx = data.first(n);
        const ReplyKind kind = classifyReply(rx);
        if (kind != ReplyKind::Incomplete)
            check(n >= 2 && rx.back() == Etx && (rx.front() == Ack || rx.front() == Nak));
        for (const int protocol : {ProtocolStandard, ProtocolWithChecksum}) {
            const QByteArray value = replyValue(rx, protocol);
            // The value is a piece of the reply from its 8th character on.
            if (!value.isEmpty()) {
                check(value.size() + 7 <= n);
                check(rx.sliced(7, value.size()) == value);
            }
        }
        const char code = replyErrorCode(rx);
        check(n >= 2 ? code == rx[n - 2] : code == 0);
        check(!errorText(code).isEmpty());
    }
}

void fuzzStation(QByteArrayView data) {
    const QString text = QString::fromLatin1(data.first(std::min<qsizetype>(data.size(), 64)));
    const int station = stationFromText(text);
    check(station >= 0 && station <= MaxStation);
    const QString shown = normalisedStationText(text);
    check(shown.isEmpty() == text.isEmpty());
    const QByteArray frame = buildRequest(1, ProtocolWithChecksum, station, data.first(0));
    check(frame.size() == 10 && frame.front() == Stx && frame.back() == Etx);
}

void fuzzTagFile(QByteArrayView data) {
    for (const TagFileLayout layout :
         {TagFileLayout::OpcItems, TagFileLayout::TagTable, TagFileLayout::ItemTable}) {
        const TagFileReading r = readTagText(data, layout);
        check(r.tags.size() <= MaxTags);
        check(r.rejected == (r.rejectedLine > 0));
        check(r.skipped.size() <= TagFileReading::MaxSkippedListed);
        check(r.skippedCount >= r.skipped.size());
        for (const QString& tag : r.tags) {
            check(tag.size() <= MaxLineLength);
            // A name can travel in a request frame.
            for (const QChar c : tag)
                check((c == QLatin1Char('\t') || c.unicode() >= 0x20) && c.unicode() != 0x7F &&
                      c.unicode() <= 0xFF);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size > 64 * 1024)
        return 0;
    const QByteArrayView data(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
    fuzzReplies(data);
    fuzzStation(data);
    fuzzTagFile(data);
    return 0;
}
