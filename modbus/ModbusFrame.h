#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

// Modbus read requests and replies as pure functions over bytes: the two
// request layouts, the rule that ends the wait for a reply, the texts of
// exception replies and time-outs, the transaction counter, and the check of
// a reply (transaction identifier or CRC) that yields the register bytes.
// The CRC comes from the support library, bound by name at its first use.
namespace kestrune::modbus {

// How a request is framed, whichever link carries it: RTU with its CRC, or
// the 7-byte header of Modbus TCP.
enum class Framing {
    Rtu,
    Tcp,
};

// The two functions the client offers.
inline constexpr int ReadHoldingRegisters = 3;
inline constexpr int ReadInputRegisters = 4;
// Most registers a slave hands out in one read; larger counts are sent as
// they are and the slave answers with an exception.
inline constexpr int MaxRegistersPerRead = 125;
// The count travels as one 16-bit word.
inline constexpr int MaxRegisterCount = 0xFFFF;

// One read as it goes on the wire.
struct ReadRequest {
    uint8_t unit = 1;
    uint8_t function = ReadHoldingRegisters;
    uint16_t first = 0;
    uint16_t count = 1;
};

// Slave address, function code, first register and count, words high byte
// first: the six bytes both framings carry.
QByteArray requestPdu(const ReadRequest& request);

// The 12-byte TCP request: transaction identifier, protocol identifier 0,
// length 6, then the six bytes above.
QByteArray tcpRequest(const ReadRequest& request, uint16_t transactionId);

// The 8-byte RTU request: the six bytes and their CRC, low-order byte first.
// False when the support library can't be had; *error then says why.
[[nodiscard]] bool rtuRequest(const ReadRequest& request, QByteArray& out,
                              QString* error = nullptr);

// Reply lengths for count registers: the full reply (RTU 2·count + 5, TCP
// 2·count + 9) and an exception reply (RTU 5, TCP 9).
qsizetype expectedReplyLength(Framing framing, int count);
qsizetype exceptionReplyLength(Framing framing);
// Index (0-based) of the reply's function byte: 1 for RTU, 7 for TCP.
qsizetype functionByteIndex(Framing framing);

enum class ReplyState {
    Waiting,   // not complete yet
    Complete,  // at least the expected length is there
    Exception, // exactly an exception reply's length with bit 7 of the function set
};

// What the bytes received so far amount to. An exception reply followed by
// further bytes is no exception reply: the wait goes on for the full length.
ReplyState replyState(QByteArrayView rx, Framing framing, int count);

// The exception code of an exception reply (the byte after the function
// byte); 0 when rx is too short to hold one.
int exceptionCode(QByteArrayView rx, Framing framing);

// "Modbuserror 02: Illegal data address" for codes 1 to 11, "Unknown
// Modbuserror" for any other.
QString exceptionText(int code);

// "BusTimeout (Received n bytes)".
QString timeoutText(qsizetype received);

// The texts a failed check shows.
QString wrongTransactionIdText();
QString badCrcText();
QString okText();

// The transaction identifiers of TCP-framed requests: 1, 2, ... 100, then 0,
// 1, ... for the whole program run.
class TransactionCounter {
public:
    static constexpr int Wrap = 100;

    // Steps the counter and returns the identifier of the next request.
    uint16_t next();
    int value() const { return m_value; }

private:
    int m_value = 0;
};

// The counter of the program run, shared by the wizard's reads.
TransactionCounter& programTransactionCounter();

enum class CheckVerdict {
    Ok,
    WrongTransactionId,
    BadCrc,
    // The support library or its CRC16 could not be had; error says why.
    LibraryFailed,
};

struct CheckResult {
    CheckVerdict verdict = CheckVerdict::Ok;
    // Ok only: the register bytes (TCP: everything after header, function
    // and byte count; RTU: between byte count and CRC). Empty for an
    // exception reply.
    QByteArray registers;
    QString error;
};

// Checks a reply the wait accepted. TCP framing: its first two bytes, high
// byte first, must be sentTransactionId. RTU framing: its last two bytes must
// be the CRC of the rest, low-order byte first. Address, function and byte
// count are not compared with the request. Any length is handled; a reply
// too short to carry what is checked fails the check.
CheckResult checkReply(QByteArrayView reply, Framing framing, uint16_t sentTransactionId);

} // namespace kestrune::modbus
