#include "Pty.h"

#include <QFile>
#include <QSocketNotifier>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace kestrune::sim {

Pty::Pty(QObject* parent) : QObject(parent) {}

Pty::~Pty() {
    close();
}

static QString systemError(const char* what) {
    return QString::fromLatin1(what) + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(errno));
}

bool Pty::open() {
    close();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0) {
        m_error = systemError("posix_openpt");
        return false;
    }
    char name[128] = {};
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        ::ptsname_r(m_master, name, sizeof name) != 0) {
        m_error = systemError("pseudo-terminal set-up");
        close();
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_slave < 0) {
        m_error = systemError("open slave");
        close();
        return false;
    }
    // Raw line: bytes pass unchanged in both directions until the program
    // sets its own line settings.
    termios tio{};
    if (::tcgetattr(m_slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B9600);
        ::cfsetospeed(&tio, B9600);
        ::tcsetattr(m_slave, TCSANOW, &tio);
    }
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &Pty::readMaster);
    return true;
}

void Pty::close() {
    delete m_notifier;
    m_notifier = nullptr;
    if (!m_link.isEmpty()) {
        QFile::remove(m_link);
        m_link.clear();
    }
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

bool Pty::linkAs(const QString& linkPath) {
    if (m_slavePath.isEmpty()) {
        m_error = QStringLiteral("no pseudo-terminal to link");
        return false;
    }
    QFile::remove(linkPath);
    if (!QFile::link(m_slavePath, linkPath)) {
        m_error = QStringLiteral("cannot create the link %1").arg(linkPath);
        return false;
    }
    m_link = linkPath;
    return true;
}

bool Pty::write(const QByteArray& bytes) {
    if (m_master < 0)
        return false;
    qsizetype done = 0;
    int stalls = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n > 0) {
            done += n;
            stalls = 0;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // The line's buffer is full because nobody reads the other side:
        // drop the rest as a real line would lose it, after a short grace.
        if (n < 0 && errno == EAGAIN && ++stalls < 50) {
            ::usleep(1000);
            continue;
        }
        return false;
    }
    return true;
}

void Pty::readMaster() {
    char buf[4096];
    QByteArray got;
    for (int rounds = 0; rounds < 64; ++rounds) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break; // EAGAIN, EIO (no reader), or end
    }
    if (!got.isEmpty())
        emit received(got);
}

void Pty::flushInput() {
    if (m_master >= 0)
        ::tcflush(m_master, TCIFLUSH);
}

QString SerialLine::text() const {
    return QStringLiteral("%1,%2,%3,%4")
        .arg(baud)
        .arg(QLatin1Char(parity))
        .arg(dataBits)
        .arg(stopBits);
}

std::optional<SerialLine> parseSerialLine(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    SerialLine line;
    bool ok[3] = {};
    line.baud = parts[0].trimmed().toInt(&ok[0]);
    line.dataBits = parts[2].trimmed().toInt(&ok[1]);
    line.stopBits = parts[3].trimmed().toInt(&ok[2]);
    const QString parity = parts[1].trimmed().toUpper();
    if (!ok[0] || !ok[1] || !ok[2] || line.baud < 50 || line.baud > 115200 ||
        (line.dataBits != 7 && line.dataBits != 8) || (line.stopBits != 1 && line.stopBits != 2) ||
        parity.size() != 1 || !QStringLiteral("NEOMS").contains(parity))
        return std::nullopt;
    line.parity = parity.at(0).toLatin1();
    return line;
}

int characterBits(const SerialLine& line) {
    return 1 + line.dataBits + (line.parity == 'N' ? 0 : 1) + line.stopBits;
}

bool lineMatches(const SerialLine& device, const PtyLine& program) {
    if (program.baud != 0 && program.baud != device.baud)
        return false;
    if (program.stopBits != device.stopBits)
        return false;
    if (program.parityHint == 0)
        return device.parity == 'N' || device.parity == 'E';
    return program.parityHint == device.parity;
}

int terminalOutputSpeed(int fd); // PtySpeed.cpp

int Pty::baudRate() const {
    return m_slave < 0 ? 0 : terminalOutputSpeed(m_slave);
}

PtyLine Pty::line() const {
    PtyLine line;
    termios tio{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0)
        return line;
    line.baud = terminalOutputSpeed(m_slave);
    line.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
    const bool odd = tio.c_cflag & PARODD;
    const bool sticky = tio.c_cflag & CMSPAR;
    if (sticky)
        line.parityHint = odd ? 'M' : 'S';
    else if (odd)
        line.parityHint = 'O';
    else if (tio.c_cflag & PARENB)
        line.parityHint = 'E'; // a real terminal keeps the bit
    return line;
}

} // namespace kestrune::sim
