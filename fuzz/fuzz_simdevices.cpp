// libFuzzer target: the simulated Modbus slave and ASCII tag server with
// their stream framers, fed arbitrary bytes in arbitrary pieces. Whatever
// comes in, the framers stay within their bounds and every reply is a
// well-formed frame of its protocol.
#include "sim/devices/SimAsciiServer.h"
#include "sim/devices/SimFramers.h"
#include "sim/devices/SimModbusSlave.h"
#include "sim/devices/SimRegisterMap.h"
#include "sim/devices/SimTagFiles.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kestrune::sim;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

uint16_t word(const QByteArray& b, qsizetype at) {
    return uint16_t((uint8_t(b[at]) << 8) | uint8_t(b[at + 1]));
}

void checkRtuReply(const QByteArray& request, const QByteArray& reply) {
    if (reply.isEmpty())
        return;
    check(modbusCrcValid(request));
    check(modbusCrcValid(reply));
    check(reply[0] == request[0]);
    if (uint8_t(reply[1]) & 0x80)
        check(reply.size() == 5);
    else
        check(reply.size() == 5 + uint8_t(reply[2]) && reply.size() <= 255);
}

void checkTcpReply(const QByteArray& request, const QByteArray& reply) {
    if (reply.isEmpty())
        return;
    check(reply.size() >= 9);
    check(reply.left(2) == request.left(2));
    check(word(reply, 2) == 0);
    check(word(reply, 4) == reply.size() - 6);
    check(reply[6] == request[6]);
    if (uint8_t(reply[7]) & 0x80)
        check(reply.size() == 9);
    else
        check(reply.size() == 9 + uint8_t(reply[8]));
}

void checkAsciiReplies(const QByteArray& replies) {
    // ACK or NAK, the six header characters, ..., ETX; one after another.
    qsizetype at = 0;
    while (at < replies.size()) {
        check(replies[at] == 0x06 || replies[at] == 0x15);
        const qsizetype end = replies.indexOf(char(0x03), at);
        check(end >= at + 8);
        if (replies[at] == 0x15)
            check(end == at + 8);
        at = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > 8192)
        return 0;
    // The first byte picks the piece size and a few options.
    const int piece = 1 + (data[0] & 0x3F);
    const bool replyOtherStation = data[0] & 0x40;
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    SimModbusSlave slave = defaultModbusSlave();
    slave.setAcceptAnyUnit(data[0] & 0x80);
    ModbusRtuFramer rtu(1024);
    ModbusTcpFramer tcp(1024);
    SimAsciiServer ascii(5);
    ascii.setTags(defaultAsciiTags());
    ascii.setReplyToOtherStation(replyOtherStation);
    AsciiFramer asciiFramer(128);

    for (qsizetype i = 0; i < input.size(); i += piece) {
        const QByteArray chunk = input.mid(i, piece);
        rtu.append(chunk);
        tcp.append(chunk);
        asciiFramer.append(chunk);
        check(rtu.pending() <= 1024 && tcp.pending() <= 1024);
        while (const auto frame = rtu.next()) {
            check(modbusCrcValid(*frame) && frame->size() >= 4 && frame->size() <= 256);
            checkRtuReply(*frame, slave.handleRtu(*frame));
        }
        while (const auto adu = tcp.next()) {
            check(adu->size() >= 8 && adu->size() <= 260);
            checkTcpReply(*adu, slave.handleTcp(*adu));
        }
        while (const auto frame = asciiFramer.next()) {
            check(frame->body.size() <= 128);
            checkAsciiReplies(ascii.handleFrame(*frame));
        }
    }
    asciiFramer.flush();
    while (const auto frame = asciiFramer.next())
        checkAsciiReplies(ascii.handleFrame(*frame));

    // The whole input as one frame, as the handlers take it directly.
    checkRtuReply(input, slave.handleRtu(input));
    checkTcpReply(input, slave.handleTcp(input));
    checkAsciiReplies(ascii.handleRequest(input));

    // Tag files from names cut out of the input: whatever is written reads
    // back as lines, and every name either fits or is listed as skipped.
    const QList<QByteArray> names = input.left(512).split(';');
    for (int layout = 0; layout < 3; ++layout) {
        QList<QByteArray> skipped;
        const QByteArray file = tagFileContents(names, TagFileLayout(layout), 0, &skipped);
        check(file.count("\r\n") + skipped.size() == names.size());
    }

    // Register bytes put in an order and read back in the same order are
    // what they were.
    const QByteArray value = input.left(16);
    for (int order = 0; order < 4; ++order)
        check(reorderBytes(reorderBytes(value, ByteOrder(order)), ByteOrder(order)) == value ||
              (value.size() % 2) != 0);
    return 0;
}
