#include "channel/SerialPorts.h"

#include "base/IniFile.h"
#include "base/Language.h"

#include <QFile>
#include <QSerialPortInfo>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrune {

namespace {

QStringList systemPortPaths() {
    QStringList paths;
    const auto ports = QSerialPortInfo::availablePorts();
    paths.reserve(ports.size());
    for (const QSerialPortInfo& info : ports)
        paths.append(info.systemLocation());
    return paths;
}

QString pathFor(int number, const IniFile& ini, QStringList systemPorts) {
    const QString configured =
        ini.read(QStringLiteral("SerialPorts"), QStringLiteral("COM") + QString::number(number))
            .trimmed();
    if (!configured.isEmpty())
        return configured;
    std::sort(systemPorts.begin(), systemPorts.end());
    if (number >= 1 && number <= systemPorts.size())
        return systemPorts[number - 1];
    return QStringLiteral("/dev/ttyS") + QString::number(number - 1);
}

} // namespace

QString serialPortPath(int number) {
    return pathFor(number, programIni(), systemPortPaths());
}

QString serialPortPath(int number, const QString& iniPath, QStringList systemPorts) {
    return pathFor(number, IniFile(iniPath), std::move(systemPorts));
}

QString serialPortDisplayName(int number) {
    return QStringLiteral("COM") + QString::number(number) + QStringLiteral(" (") +
           serialPortPath(number) + QLatin1Char(')');
}

QStringList serialPortDisplayNames() {
    // One look at the system's list for all sixteen names.
    const QStringList system = systemPortPaths();
    QStringList names;
    names.reserve(SerialPortCount);
    for (int n = 1; n <= SerialPortCount; ++n)
        names.append(QStringLiteral("COM") + QString::number(n) + QStringLiteral(" (") +
                     pathFor(n, programIni(), system) + QLatin1Char(')'));
    return names;
}

QList<qint32> standardLineSpeeds() {
    QList<qint32> speeds = QSerialPortInfo::standardBaudRates();
    std::sort(speeds.begin(), speeds.end());
    speeds.erase(std::unique(speeds.begin(), speeds.end()), speeds.end());
    return speeds;
}

std::optional<LineSettings> parseLineSettings(const QString& text) {
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        return std::nullopt;
    LineSettings s;

    const QString baud = fields[0].trimmed();
    bool ok = false;
    const int baudRate = baud.toInt(&ok);
    if (!ok || baudRate <= 0)
        return std::nullopt;
    s.baudRate = baudRate;

    const QString parity = fields[1].trimmed().toUpper();
    if (parity == QLatin1String("N"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("O"))
        s.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("E"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("M"))
        s.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        s.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    const QString data = fields[2].trimmed();
    if (data == QLatin1String("5"))
        s.dataBits = QSerialPort::Data5;
    else if (data == QLatin1String("6"))
        s.dataBits = QSerialPort::Data6;
    else if (data == QLatin1String("7"))
        s.dataBits = QSerialPort::Data7;
    else if (data == QLatin1String("8"))
        s.dataBits = QSerialPort::Data8;
    else
        return std::nullopt;

    const QString stop = fields[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        s.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return s;
}

QString lineSettingsText(const LineSettings& settings) {
    QChar parity = QLatin1Char('N');
    switch (settings.parity) {
    case QSerialPort::OddParity:
        parity = QLatin1Char('O');
        break;
    case QSerialPort::EvenParity:
        parity = QLatin1Char('E');
        break;
    case QSerialPort::MarkParity:
        parity = QLatin1Char('M');
        break;
    case QSerialPort::SpaceParity:
        parity = QLatin1Char('S');
        break;
    default:
        break;
    }
    QString stop = QStringLiteral("1");
    if (settings.stopBits == QSerialPort::OneAndHalfStop)
        stop = QStringLiteral("1.5");
    else if (settings.stopBits == QSerialPort::TwoStop)
        stop = QStringLiteral("2");
    return QString::number(settings.baudRate) + QLatin1Char(',') + parity + QLatin1Char(',') +
           QString::number(static_cast<int>(settings.dataBits)) + QLatin1Char(',') + stop;
}

QString serialEventNote(int code) {
    switch (code) {
    case 1:
        return QStringLiteral(
            "There are fewer than Sthreshold number of characters in the transmit buffer");
    case 3:
        return QStringLiteral("Change in Clear To Send line");
    case 4:
        return QStringLiteral("Change in Data Set Ready line");
    case 5:
        return QStringLiteral("Change in Carrier Detect line");
    case 6:
        return QStringLiteral("Ring detected");
    case 7:
        return QStringLiteral("End Of File");
    case 1001:
        return QStringLiteral("Break Received");
    case 1002:
        return QStringLiteral("CTS Timeout");
    case 1003:
        return QStringLiteral("DSR Timeout");
    case 1004:
        return QStringLiteral("Framing Error");
    case 1006:
        return QStringLiteral("Overrun");
    case 1007:
        return QStringLiteral("CD Timeout");
    case 1008:
        return QStringLiteral("Receive Buffer Overflow");
    case 1009:
        return QStringLiteral("Receive Parity Error");
    case 1010:
        return QStringLiteral("Transmit Buffer Full");
    case 1011:
        return QStringLiteral("Unexpected error retrieving Device Control Block");
    default:
        return QString();
    }
}

QList<int> lineEventCodes(const LineCounters& before, const LineCounters& after) {
    QList<int> codes;
    const auto rose = [&codes](int was, int now, int code) {
        if (now != was)
            codes.append(code);
    };
    rose(before.cts, after.cts, 3);
    rose(before.dsr, after.dsr, 4);
    rose(before.dcd, after.dcd, 5);
    rose(before.rng, after.rng, 6);
    rose(before.brk, after.brk, 1001);
    rose(before.frame, after.frame, 1004);
    rose(before.overrun, after.overrun, 1006);
    rose(before.bufOverrun, after.bufOverrun, 1008);
    rose(before.parity, after.parity, 1009);
    return codes;
}

std::optional<LineCounters> readLineCounters(int fd) {
    if (fd < 0)
        return std::nullopt;
    serial_icounter_struct raw{};
    if (::ioctl(fd, TIOCGICOUNT, &raw) != 0)
        return std::nullopt;
    LineCounters c;
    c.cts = raw.cts;
    c.dsr = raw.dsr;
    c.rng = raw.rng;
    c.dcd = raw.dcd;
    c.frame = raw.frame;
    c.overrun = raw.overrun;
    c.parity = raw.parity;
    c.brk = raw.brk;
    c.bufOverrun = raw.buf_overrun;
    return c;
}

} // namespace kestrune

namespace kestrune {

namespace {

// texts: 1300
constexpr int TextSerialAccess = 1300;

// Serial ports that a group may use carry that group; "dialout" is Debian's.
QString deviceGroup(const struct stat& st) {
    if (st.st_gid != 0 && (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
        if (const struct group* g = ::getgrgid(st.st_gid))
            return QString::fromLocal8Bit(g->gr_name);
    }
    return QStringLiteral("dialout");
}

QString userName() {
    if (const struct passwd* pw = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return QStringLiteral("$USER");
}

} // namespace

QString serialAccessAdvice(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return QString();
    // The effective user decides, as it does for open().
    if (::faccessat(AT_FDCWD, native.constData(), R_OK | W_OK, AT_EACCESS) == 0 || errno != EACCES)
        return QString();
    return getText(TextSerialAccess).arg(deviceGroup(st), userName());
}

} // namespace kestrune
