// libFuzzer target: the data record decoder and the traffic log's telegram
// explanation, fed arbitrary bytes: as a whole frame, as the application
// data of each CI that carries records, and as a telegram of each protocol.
// No read outside the bytes (ASan), no endless loop, no allocation beyond a
// small multiple of the input.
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "channel/Explain.h"
#include "mbus/DataRecords.h"
#include "mbus/RecordTexts.h"

#include <QFile>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kestrune;
using namespace kestrune::mbus;

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void checkDecoding(const RecordDecoding& d, qsizetype frameSize) {
    qsizetype covered = 0;
    for (const DataRecord& r : d.records) {
        check(r.offset >= 0 && r.offset < frameSize);
        covered += r.dib.size() + r.vib.size() + r.data.size();
        check(r.offset + r.dib.size() + r.vib.size() + r.data.size() <= frameSize);
        if (r.kind == ValueKind::Number) {
            check(!r.text.isEmpty());
        }
        check(r.flags < (1u << 9));
        check(r.qualifiers.size() <= 10);
        // The texts a user reads never come out empty for a record.
        (void)recordQuantityText(r);
        (void)recordRemarksText(r);
    }
    check(covered <= frameSize);
    for (const DecodeNote& n : d.notes) {
        check(n.bytes.size() <= frameSize);
        check(!decodeNoteText(n).isEmpty());
    }
}

void setUp() {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    QFile lang(QStringLiteral(KESTRUNE_LANGUAGE_FILE));
    if (lang.open(QIODevice::ReadOnly)) {
        languageTable().parse(lang.readAll());
    }
    setProgramDir(QStringLiteral(KESTRUNE_BINARY_DIR));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1024) {
        return 0;
    }
    setUp();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    checkDecoding(decodeRecords(bytes), bytes.size());
    for (uint8_t ci : {uint8_t(0x72), uint8_t(0x76), uint8_t(0x7A), uint8_t(0x78), uint8_t(0x51),
                       uint8_t(0x73), uint8_t(0x70)}) {
        checkDecoding(decodeApplicationData(ci, bytes, 0, false), bytes.size());
    }
    if (!bytes.isEmpty()) {
        // The first byte picks the CI, the rest is the application data.
        checkDecoding(decodeApplicationData(static_cast<uint8_t>(bytes[0]),
                                            QByteArrayView(bytes).sliced(1), 1, true),
                      bytes.size());
    }

    for (auto protocol :
         {TelegramProtocol::Unknown, TelegramProtocol::MBus, TelegramProtocol::ModbusRtu,
          TelegramProtocol::ModbusTcp, TelegramProtocol::Ascii, TelegramProtocol::Setup}) {
        for (auto direction : {Direction::Sent, Direction::Received}) {
            const QString line = explainTelegram(bytes, direction, protocol);
            check(line.isEmpty() == bytes.isEmpty());
        }
    }
    return 0;
}
