#pragma once

#include "netsetup/SetupRecord.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>

#include <functional>

namespace kestrune {

class Link;

// How a setup record travels: as datagrams to the gateway's setup port, or
// as hexadecimal lines through its serial console.
enum class SetupMethod : int { Network = 1, Serial = 2 };

// Why the last exchange failed.
enum class ExchangeFailure {
    None,
    EmptyRecord,     // nothing to write: the record was never read or reset
    SendFailed,      // the datagram could not be sent (a box said why)
    NoReply,         // nothing came back in time
    ShortReply,      // something came back, but no whole record
    WrongReply,      // a whole answer, but for another record
    NotAcknowledged, // a write was answered, but not with its acknowledgement
    NoComeback,      // the gateway took the write but did not answer again after its restart
    ConsoleNotOpen,  // the serial port is not open
    ConsoleRejected, // the console did not answer a record write with its bare prompt
};

// The language text that says why (empty for None).
QString exchangeFailureText(ExchangeFailure failure);

// Reads and writes the gateway's setup records, over the network (the
// setup socket, its own UDP socket, to port 30718 of the device) or through
// the console on the link's serial port (the link decodes the console's
// hexadecimal lines into its receive buffer).
//
// Every wait is one of the link's event-loop waits: the interface keeps
// running, and the link counts the exchange as running (isWaiting()).
// Replies are taken only from the device's own address, so a stray datagram
// cannot pass for the answer. A failed exchange leaves the record as it was.
class RecordExchange : public QObject {
    Q_OBJECT
public:
    // The gateway's restart after a write: the first look for it comes this
    // long after the acknowledgement, then one record-0 read per second.
    static constexpr int RestartPauseMs = 1000;
    static constexpr int ComebackRoundMs = 1000;
    // After "S" n the console gets this long before the record lines; after
    // the closing line this long to answer with its prompt.
    static constexpr int ConsoleWriteStartMs = 500;
    static constexpr int ConsoleWriteAnswerMs = 1000;

    explicit RecordExchange(Link& link, QObject* parent = nullptr);

    // The local address of the chosen network adapter; writes and the
    // IP-SETUP broadcast are sent from it. An address that cannot be bound
    // ("NO_ADAPTER", empty) leaves the choice to the system for writes; the
    // broadcast then fails with a box.
    void setAdapterAddress(const QString& address) { m_adapter = address; }
    // Sink of the header text while the console is woken up after a write
    // (text 153 and 0..7 dots).
    void setConsoleHeaderSink(std::function<void(const QString&)> sink) {
        m_consoleHeader = std::move(sink);
    }

    // Read_Record: true when record n arrived; the record then holds it.
    [[nodiscard]] bool readRecord(SetupRecord& record, SetupMethod method,
                                  const QString& deviceAddress, int timeoutMs);
    // Write_Record: true when the gateway acknowledged the record and, after
    // its restart, answered again, all within the time given. A record 0
    // that moves the gateway to another address is asked for there.
    [[nodiscard]] bool writeRecord(const SetupRecord& record, SetupMethod method,
                                   const QString& deviceAddress, int timeoutMs);
    // Sends one datagram to the broadcast address's setup port from the
    // adapter's address. False (after a box) when it could not be sent.
    bool broadcast(const QByteArray& datagram, const QString& broadcastAddress);

    ExchangeFailure lastFailure() const { return m_failure; }
    // Whether the last write was acknowledged (whatever happened after).
    bool lastWriteAcknowledged() const { return m_acknowledged; }

signals:
    // Text for a message box with the exclamation icon: text 154 or 152, two
    // line breaks, and the system's description in single quotes.
    void messageBox(const QString& text);

private:
    bool readOverNetwork(SetupRecord& record, const QString& deviceAddress, int timeoutMs);
    bool writeOverNetwork(const SetupRecord& record, const QString& deviceAddress, int timeoutMs);
    bool readOverConsole(SetupRecord& record, int timeoutMs);
    bool writeOverConsole(const SetupRecord& record, int timeoutMs);

    void openSocket(bool fromAdapter);
    void closeSocket();
    bool send(const QByteArray& datagram, const QHostAddress& to);
    bool setDevice(const QString& deviceAddress);
    void reportSendError(const QString& description);
    void onDatagrams();
    void onSocketError(QAbstractSocket::SocketError error);

    Link& m_link;
    QUdpSocket m_socket;
    QString m_adapter;
    std::function<void(const QString&)> m_consoleHeader;
    // Replies are taken from this address only.
    QHostAddress m_device;
    // The last datagram from the device (each one replaces it) and how many
    // came since the last send.
    QByteArray m_rx;
    int m_datagrams = 0;
    bool m_sending = false;
    bool m_acknowledged = false;
    ExchangeFailure m_failure = ExchangeFailure::None;
};

} // namespace kestrune
