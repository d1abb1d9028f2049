#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTcpSocket>
#include <QUdpSocket>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "channel/SerialPorts.h"

class QEventLoop;

// The one link between the wizard and the bus equipment: a serial port (an
// M-Bus level converter or a gateway's console), or a network link to a
// gateway over UDP or TCP. Every protocol client sends through it and reads
// what it received; none of them can tell serial from UDP from TCP.
//
// Every wait here is a nested event loop woken by arriving data, a socket or
// port error, or its deadline; the user interface keeps running meanwhile
// and no CPU is spent on polling.
namespace kestrune {

enum class ConnectionMode : int {
    None = 0,
    Udp = 1,
    Serial = 2,
    Tcp = 3,
};

// Everything needed to open the link, without the settings store (the CLI
// and the tests fill it themselves).
struct LinkSettings {
    ConnectionMode mode = ConnectionMode::Udp;
    QString host;            // network: the gateway's host name or address
    quint16 port = 8001;     // network: the gateway's port, UDP and TCP alike
    int serialPortIndex = 0; // serial: position in the COM1..COM16 list
    QString serialDevice;    // serial: device path; overrides the position
    QString lineSettings = QStringLiteral("2400,E,8,1"); // serial: "baud,parity,data,stop"
};

// The serial settings text for a task from the texts of its four stored
// positions: tasks 5 and 6 (Modbus and the ASCII protocol) use them as
// stored, "9600,N,8,1"; every other task talks M-Bus and always uses
// baud + ",E,8,1".
QString serialSettingsText(int task, const QString& baud, const QString& dataBits,
                           const QString& stopBits, const QString& parity);

// The link as the connection page stored it for a task (keys
// Option_EnterIPAddress, UDPorTCP, IPAddress, TCPPort and the per-task
// SerialPort_, Combo_EnterIPAddress_BaudRate_, SerialDatabits_,
// SerialStopbits_, SerialParity_). A task with no port or speed stored at
// all uses COM1 at 2400 baud.
LinkSettings storedLinkSettings(int task);

// The INI section whose time-outs a task's exchanges use: "ModBus" for task
// 5, "MBusASCII" for task 6, "IP" for every other task.
QString timeoutSectionForTask(int task);

class Link : public QObject {
    Q_OBJECT
public:
    // The network receive buffer keeps the newest bytes up to this size.
    static constexpr qsizetype SocketBufferLimit = 1024;
    // The serial receive buffer keeps every byte of a reply; this bound only
    // protects against a device that talks without end.
    static constexpr qsizetype SerialBufferLimit = 4 * 1024 * 1024;
    // A serial line longer than this is no hexadecimal record.
    static constexpr qsizetype SerialLineLimit = 4096;
    // The bus delay never holds a transmission back longer than this.
    static constexpr int BusDelayCapMs = 1001;
    // After the console prompt appeared, the console gets this long to settle.
    static constexpr int ConsoleSettleMs = 1000;
    // One round of the console wake-up.
    static constexpr int ConsoleRoundMs = 250;
    // Bounds of one discard of unread input (a device that talks without
    // end must not hold up the transmission).
    static constexpr int DiscardDatagramLimit = 1024;
    static constexpr qsizetype DiscardByteLimit = 1024 * 1024;

    explicit Link(QObject* parent = nullptr);
    ~Link() override;

    // ---- State -------------------------------------------------------------

    ConnectionMode connectionMode() const { return m_mode; }
    bool isOpen() const { return m_open; }
    // Why the last open failed or the link closed by itself; cleared by
    // every openConnection.
    const QString& connectionError() const { return m_connectionError; }

    // Bytes received since the last transmission.
    const QByteArray& rxBuffer() const { return m_rx; }
    // For the setup exchanges, which preset or replace it.
    void setRxBuffer(const QByteArray& bytes) { m_rx = bytes; }
    // Every serial byte received since the last transmission.
    const QByteArray& serialRxBuffer() const { return m_serialRx; }
    void clearSerialRxBuffer() { m_serialRx.clear(); }

    // Tick (tickMs) of the last completed reception.
    uint32_t lastBusActivity() const { return m_lastBusActivity; }
    void setLastBusActivity(uint32_t tick) { m_lastBusActivity = tick; }
    void markBusActivity();

    int busDelay() const { return m_busDelay; }
    int busTimeout() const { return m_busTimeout; }
    int openTimeout() const { return m_openTimeout; }
    void setBusDelay(int ms) { m_busDelay = ms; }
    void setBusTimeout(int ms) { m_busTimeout = ms; }
    void setOpenTimeout(int ms) { m_openTimeout = ms; }
    // BusDelay (50), BusTimeout (3000) and OpenTimeout (5000) from a section
    // of the INI file.
    void loadTimeouts(const QString& section);

    // The task whose stored settings openConnection() uses. Until it is set,
    // the task stored as Option_SelectWhatToDo.
    int selectedTask() const;
    void setSelectedTask(int task) { m_selectedTask = task; }

    // The cancel request of the serial console page; wakes every wait.
    bool abortRequested() const { return m_abortRequested; }
    void requestAbort();
    void clearAbort() { m_abortRequested = false; }

    // ---- Opening and closing ---------------------------------------------------

    // Opens the link as stored for selectedTask(). True at once, changing
    // nothing, when the link is already open.
    [[nodiscard]] bool openConnection();
    [[nodiscard]] bool openConnection(const LinkSettings& settings);
    // Always leaves the link closed.
    void closeConnection();

    // ---- Sending and receiving ----------------------------------------------

    // Waits for the bus delay, logs the telegram, clears the receive buffers
    // and transmits. Does nothing while the link is closed. A socket that
    // refuses the bytes is reported through sendFailed; the exchange then
    // runs on and its reply times out.
    void sendBytes(const QByteArray& bytes);

    // The steps of sendBytes, for senders that log on their own terms.
    // Waits until delayMs have passed since lastBusActivity(), at most capMs.
    void waitBusQuiet(int delayMs, int capMs = BusDelayCapMs);
    // Empties the receive buffers and discards what the socket or serial
    // port holds unread, so that nothing older than the next transmission
    // can be taken for its answer.
    void clearReceiveBuffers();
    // Transmits on the open link; false when the bytes could not be handed
    // over (sendFailed has then been emitted for a socket).
    bool transmit(const QByteArray& bytes);

    // Waits up to timeoutMs for a complete M-Bus reply (the single E5 or a
    // long frame) and returns it, or an empty array on time-out. Both
    // outcomes are logged and counted.
    QByteArray receiveMBusFrame(int timeoutMs);

    // The receive skeleton the other protocols' loops share: in serial mode
    // RxBuffer is refreshed from SerialRxBuffer, then complete(RxBuffer) is
    // asked; the wait sleeps until data arrives or the deadline passes.
    // True when the rule held; false on time-out or when the link closed
    // (by a peer close or a vanished device) during the wait.
    bool waitUntil(const std::function<bool(const QByteArray& rx)>& complete, int timeoutMs);

    // A plain wait for a condition over any state (the setup exchanges):
    // done() is asked whenever something arrived and at the deadline. No
    // buffer is touched and the link need not be open.
    bool waitFor(const std::function<bool()>& done, int timeoutMs);
    // Lets the user interface run for ms milliseconds.
    void pause(int ms);
    // Wakes every running wait so it looks at its condition again (for
    // other sockets that fill RxBuffer).
    void wakeWaiters();
    // Whether a wait is running: a timer tick or a click handled inside it
    // must not start a second exchange.
    bool isWaiting() const { return !m_waiters.empty(); }

    // ---- The serial port -------------------------------------------------------

    // Opens COM(index + 1) with "baud,parity,data,stop". False when the port
    // is absent or busy or the settings text is malformed; connectionError()
    // then says why. A line setting the device cannot carry (parity on a
    // pseudo-terminal) is noted in the traffic log and the port stays open.
    bool openSerialPort(int index, const QString& settings);
    bool openSerialDevice(const QString& path, const QString& settings);
    bool isSerialPortOpen() const { return m_serial.isOpen(); }
    const QString& serialDevicePath() const { return m_serialPath; }
    // The line the last serial port was opened with, asked for and in use
    // ("2400,E,8,1", "2400,N,8,1"); they differ when the device could not
    // carry every setting. Empty before a port is opened.
    const QString& lineSettingsAsked() const { return m_lineAsked; }
    const QString& lineSettingsInUse() const { return m_lineInUse; }
    bool lineSettingsReplaced() const { return m_lineAsked != m_lineInUse; }
    // While the serial port is open and could not carry every line setting
    // (parity on a pseudo-terminal, say): the note a page shows about it,
    // with the line asked for and the line in use. Empty otherwise.
    QString lineSettingsNote() const;
    // Writes the bytes as they are (no log, no bus delay); starts a new
    // console line.
    void serialSend(const QByteArray& bytes);
    void closeSerialPort();

    // Wakes the gateway's serial console: sends CR "zzz" every 250 ms until
    // its prompt ("9>" or "0>") appears, the limit passes (negative: none)
    // or abort is requested, then lets the console settle for a second.
    // progress receives the header text (text 153 and 0..7 dots) each round.
    bool waitForConsolePrompt(int limitMs,
                              const std::function<void(const QString& header)>& progress = {});

signals:
    // Language text 154, two line breaks, then the socket's description in
    // single quotes. The wizard shows it in a box, the CLI prints it.
    void sendFailed(const QString& message);
    // The link closed by itself: a TCP peer closed the connection, a socket
    // reported an error, or the serial device disappeared.
    void connectionLost(const QString& reason);

private:
    bool openNetwork(const LinkSettings& settings);
    std::optional<QHostAddress> resolveHost(const QString& host);
    void reportSendError(const QString& description);
    void loseConnection(const QString& reason);
    void discardPendingInput();
    // One sleep: until something wakes the waits or the deadline passes.
    void sleepUntilWoken(const QDeadlineTimer& deadline);

    void onSocketData();
    void onTcpError(QAbstractSocket::SocketError error);
    void onTcpDisconnected();
    void onUdpError(QAbstractSocket::SocketError error);
    void onSerialData();
    void onSerialError(QSerialPort::SerialPortError error);
    void checkLineCounters();
    void applyLineSetting(const QString& what, const QString& wanted,
                          const std::function<bool()>& set, const std::function<QString()>& actual);

    QSerialPort m_serial;
    QString m_serialPath;
    QString m_lineAsked;
    QString m_lineInUse;
    QUdpSocket m_udp;
    QTcpSocket m_tcp;

    ConnectionMode m_mode = ConnectionMode::None;
    bool m_open = false;
    QString m_connectionError;
    QByteArray m_rx;
    QByteArray m_serialRx;
    QByteArray m_serialLine;
    bool m_serialLineOverflow = false;
    uint32_t m_lastBusActivity = 0;
    int m_busDelay = 50;
    int m_busTimeout = 3000;
    int m_openTimeout = 5000;
    int m_selectedTask = -1;
    bool m_abortRequested = false;

    QHostAddress m_udpRemote;
    quint16 m_udpPort = 0;
    QString m_udpResolveError;
    bool m_inUdpWrite = false;
    bool m_openingSerial = false;

    std::optional<LineCounters> m_lineCounters;
    std::vector<QEventLoop*> m_waiters;
};

// The program's one link.
Link& link();

} // namespace kestrune
