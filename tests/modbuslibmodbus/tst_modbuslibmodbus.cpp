// The Modbus client and the register sheet against an independent slave:
// libmodbus, over Modbus TCP and in RTU framing over a serial line (two
// pseudo-terminals joined back to back). The slave holds values of every
// data type in every byte order the sheet offers; the sheet must show
// exactly the values it was given. libmodbus also makes the exception
// replies. Loopback address 127.0.0.145 only.
#include "base/Language.h"
#include "base/ProgramDir.h"
#include "channel/Link.h"
#include "modbus/ModbusClient.h"
#include "modbus/RegisterSheet.h"

#include <QtEndian>
#include <QtTest>

#include <modbus.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace kestrune;
using namespace kestrune::modbus;

namespace {

constexpr int FirstRegister = 1000;
constexpr int HeldRegisters = 100;

// One value as the slave holds it.
struct Placed {
    int type = 0;
    int order = 0; // position in the type's byte-order list
    int reg = 0;
    QString expected;
};

// The wire bytes of value bytes (most significant first, or text) in an
// order, straight from the order table: ABCD as they are, DCBA reversed,
// CDAB registers reversed, BADC the bytes of each register swapped. Each is
// its own inverse.
QByteArray inOrder(const QByteArray& value, int code) {
    const qsizetype n = value.size();
    QByteArray wire(n, '\0');
    for (qsizetype i = 0; i < n; ++i) {
        const qsizetype from = code == 1   ? n - 1 - i
                               : code == 2 ? n - 2 - (i & ~qsizetype(1)) + (i & 1)
                               : code == 3 ? i ^ 1
                                           : i;
        wire[i] = value[from];
    }
    return wire;
}

template <typename T> QByteArray bigEndian(T v) {
    QByteArray b(sizeof v, '\0');
    qToBigEndian(v, b.data());
    return b;
}

template <typename F, typename I> QByteArray floatBytes(F f) {
    I bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bigEndian(bits);
}

// Every type in every order the sheet offers, from FirstRegister on; fills
// the slave's registers.
QList<Placed> placeValues(uint16_t* registers) {
    const QList<std::pair<QByteArray, QString>> values = {
        {bigEndian<qint16>(-1234), "-1234"},
        {bigEndian<quint16>(51966), "51966"},
        {bigEndian<qint32>(-123456789), "-123456789"},
        {bigEndian<quint32>(3000000000u), "3000000000"},
        {bigEndian<qint64>(-1234567890123456789LL), "-1234567890123456789"},
        {bigEndian<quint64>(18000000000000000000ULL), "18000000000000000000"},
        {floatBytes<float, quint32>(21.5f), QString::asprintf("%f", 21.5)},
        {floatBytes<double, quint64>(-1234.5625), QString::asprintf("%f", -1234.5625)},
    };
    const QByteArray text = "Simulated device";
    QList<Placed> placed;
    int reg = FirstRegister;
    for (int type = 0; type < DataTypeCount; ++type) {
        const QByteArray value = type < 8 ? values[type].first : text.left(2 * registerCount(type));
        for (int order = 0; order < byteOrderNames(type).size(); ++order) {
            const QByteArray wire = inOrder(value, order);
            for (int i = 0; i < wire.size() / 2; ++i)
                registers[reg - FirstRegister + i] =
                    uint16_t((uint8_t(wire[2 * i]) << 8) | uint8_t(wire[2 * i + 1]));
            placed.append({type, order, reg,
                           // the sheet shows text without surrounding blanks
                           type < 8 ? values[type].second : QString::fromLatin1(value).trimmed()});
            reg += registerCount(type);
        }
    }
    Q_ASSERT(reg - FirstRegister <= HeldRegisters);
    return placed;
}

// libmodbus as the slave, in a thread of its own: holding registers from
// FirstRegister; input registers it does not have (illegal function).
class LibmodbusSlave {
public:
    LibmodbusSlave() {
        m_map = modbus_mapping_new_start_address(0, 0, 0, 0, FirstRegister, HeldRegisters, 0, 0);
        placed = placeValues(m_map->tab_registers);
    }
    ~LibmodbusSlave() {
        stop();
        modbus_mapping_free(m_map);
    }

    QList<Placed> placed;

    // Modbus TCP on 127.0.0.145, any free port; the port, or 0.
    int startTcp() {
        m_ctx = modbus_new_tcp("127.0.0.145", 0);
        m_listen = m_ctx ? modbus_tcp_listen(m_ctx, 1) : -1;
        if (m_listen < 0)
            return 0;
        sockaddr_in a{};
        socklen_t len = sizeof a;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
        m_thread = std::thread([this] { serveTcp(); });
        return ntohs(a.sin_port);
    }

    // RTU at 9600,N,8,1 on one pseudo-terminal joined to another; the path
    // of the other (the program's side), or empty.
    QString startRtu() {
        if (!m_ptys[0].open() || !m_ptys[1].open())
            return {};
        m_ctx = modbus_new_rtu(m_ptys[1].path.constData(), 9600, 'N', 8, 1);
        if (!m_ctx || modbus_set_slave(m_ctx, 1) != 0 || modbus_connect(m_ctx) != 0)
            return {};
        m_thread = std::thread([this] {
            std::thread bridge([this] { join(); });
            serve();
            bridge.join();
        });
        return QString::fromLocal8Bit(m_ptys[0].path);
    }

    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_ctx) {
            modbus_close(m_ctx);
            modbus_free(m_ctx);
            m_ctx = nullptr;
        }
        if (m_listen >= 0)
            ::close(m_listen);
        m_listen = -1;
    }

private:
    struct Pty {
        int master = -1;
        int holder = -1;
        QByteArray path;
        bool open() {
            master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
                return false;
            path = ::ptsname(master);
            holder = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            termios tio{};
            ::tcgetattr(holder, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(holder, TCSANOW, &tio);
            return holder >= 0;
        }
        ~Pty() {
            for (int fd : {master, holder})
                if (fd >= 0)
                    ::close(fd);
        }
    };

    // Copies bytes between the two masters, both ways, until stopped.
    void join() {
        pollfd fds[2] = {{m_ptys[0].master, POLLIN, 0}, {m_ptys[1].master, POLLIN, 0}};
        char buf[512];
        while (!m_stop) {
            if (::poll(fds, 2, 50) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                const ssize_t n = ::read(m_ptys[i].master, buf, sizeof buf);
                if (n > 0)
                    (void)!::write(m_ptys[1 - i].master, buf, size_t(n));
            }
        }
    }

    void serveTcp() {
        while (!m_stop) {
            pollfd p{m_listen, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            if (modbus_tcp_accept(m_ctx, &m_listen) < 0)
                continue;
            serve();
            modbus_close(m_ctx);
        }
    }

    // Answers requests until stopped or the peer goes away.
    void serve() {
        uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
        modbus_set_indication_timeout(m_ctx, 0, 50000);
        while (!m_stop) {
            const int n = modbus_receive(m_ctx, query);
            if (n < 0 && errno == ETIMEDOUT)
                continue;
            if (n < 0 && m_listen >= 0)
                return; // the TCP peer went away
            if (n < 0) {
                modbus_flush(m_ctx); // a garbled RTU frame
                continue;
            }
            if (n == 0)
                continue;
            if (query[modbus_get_header_length(m_ctx)] == 4)
                modbus_reply_exception(m_ctx, query, MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
            else
                modbus_reply(m_ctx, query, n, m_map);
        }
    }

    modbus_mapping_t* m_map = nullptr;
    modbus_t* m_ctx = nullptr;
    int m_listen = -1;
    Pty m_ptys[2];
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

} // namespace

class TestModbusLibmodbus : public QObject {
    Q_OBJECT

    LibmodbusSlave m_tcp;
    LibmodbusSlave m_rtu;
    LinkSettings m_tcpLink;
    LinkSettings m_rtuLink;
    Link m_link;
    QString m_open;

    void openFor(const QString& transport) {
        if (m_open == transport && m_link.isOpen())
            return;
        m_link.closeConnection();
        QVERIFY(m_link.openConnection(transport == QLatin1String("tcp") ? m_tcpLink : m_rtuLink));
        m_open = transport;
    }

private slots:
    void initTestCase() {
        setProgramDir(QStringLiteral(KESTRUNE_BINARY_DIR));
        QVERIFY(languageTable().loadFile(QStringLiteral(KESTRUNE_BINARY_DIR) +
                                         QStringLiteral("/Kestrune_Language.001")));
        m_tcpLink.mode = ConnectionMode::Tcp;
        m_tcpLink.host = QStringLiteral("127.0.0.145");
        m_tcpLink.port = quint16(m_tcp.startTcp());
        QVERIFY(m_tcpLink.port != 0);
        m_rtuLink.mode = ConnectionMode::Serial;
        m_rtuLink.serialDevice = m_rtu.startRtu();
        m_rtuLink.lineSettings = QStringLiteral("9600,N,8,1");
        QVERIFY(!m_rtuLink.serialDevice.isEmpty());
        m_link.setBusDelay(0);
        m_link.setBusTimeout(1000);
    }

    void cleanupTestCase() {
        m_link.closeConnection();
        m_tcp.stop();
        m_rtu.stop();
    }

    void everyTypeInEveryOrder_data() {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("order");
        QTest::addColumn<int>("reg");
        QTest::addColumn<QString>("expected");
        for (const char* transport : {"tcp", "rtu"})
            for (const Placed& p : std::as_const(m_tcp.placed))
                QTest::addRow("%s %s %s", transport, qPrintable(dataTypeName(p.type)),
                              qPrintable(byteOrderNames(p.type)[p.order]))
                    << QString::fromLatin1(transport) << p.type << p.order << p.reg << p.expected;
    }
    void everyTypeInEveryOrder() {
        QFETCH(QString, transport);
        QFETCH(int, type);
        QFETCH(int, order);
        QFETCH(int, reg);
        QFETCH(QString, expected);
        openFor(transport);
        const Framing framing = transport == QLatin1String("tcp") ? Framing::Tcp : Framing::Rtu;
        ModbusClient client(m_link);
        const ReadResult r = client.read({framing, 1, 3, reg, registerCount(type)});
        QCOMPARE(r.text, QStringLiteral("Ok"));

        RegisterSheet sheet;
        sheet.setFirstText(QString::number(reg));
        sheet.setCountText(QString::number(registerCount(type)));
        sheet.setRegisterText(0, QString::number(reg));
        QVERIFY(sheet.chooseType(0, type));
        QVERIFY(sheet.chooseOrder(0, order));
        sheet.applyReadResult(r);
        QCOMPARE(sheet.row(0).valueText, expected);
        // The every-order view agrees with the row in the row's own order.
        QCOMPARE(sheet.valuesInEveryOrder(0).at(order).value, expected);
    }

    void exceptions_data() {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("first");
        QTest::addColumn<QString>("text");
        for (const char* transport : {"tcp", "rtu"}) {
            QTest::addRow("%s beyond the registers", transport)
                << QString::fromLatin1(transport) << 3 << FirstRegister + HeldRegisters
                << "Modbuserror 02: Illegal data address";
            QTest::addRow("%s input registers", transport)
                << QString::fromLatin1(transport) << 4 << 0 << "Modbuserror 01: Illegal function";
        }
    }
    void exceptions() {
        QFETCH(QString, transport);
        QFETCH(int, function);
        QFETCH(int, first);
        QFETCH(QString, text);
        openFor(transport);
        const Framing framing = transport == QLatin1String("tcp") ? Framing::Tcp : Framing::Rtu;
        ModbusClient client(m_link);
        const ReadResult r = client.read({framing, 1, function, first, 2});
        QCOMPARE(r.outcome, Outcome::Exception);
        QCOMPARE(r.text, text);
        QCOMPARE(r.tone, Tone::DeviceError);
        QVERIFY(r.registersValid && r.registers.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestModbusLibmodbus)
#include "tst_modbuslibmodbus.moc"
