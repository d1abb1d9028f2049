#include "netsetup/Pinger.h"

#include "base/Language.h"
#include "channel/Link.h"
#include "netsetup/Address.h"
#include "netsetup/IcmpEcho.h"
#include "netsetup/SetupTexts.h"

#include <QElapsedTimer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestrune {

using namespace setuptext;

namespace {

constexpr int kPayloadLength = 32;
constexpr int kReceiveBuffer = 2048;

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

Pinger::Pinger(Link& link, QObject* parent) : QObject(parent), m_link(link) {
    m_identifier = static_cast<uint16_t>(::getpid() ^ reinterpret_cast<uintptr_t>(this));
}

Pinger::~Pinger() {
    close();
}

void Pinger::close() {
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_method = Method::None;
}

bool Pinger::open(QString& message) {
    if (m_fd >= 0)
        return true;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    const int datagramError = fd < 0 ? errno : 0;
    Method method = Method::Datagram;
    int rawError = 0;
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
        rawError = fd < 0 ? errno : 0;
        method = Method::Raw;
    }
    if (fd < 0) {
        message = getText(TextPingImpossible) + QStringLiteral("\r\n\r\n'") +
                  QStringLiteral("ICMP datagram socket: ") + systemError(datagramError) +
                  QStringLiteral("; raw socket: ") + systemError(rawError) + QLatin1Char('\'');
        return false;
    }
    const int hops = HopLimit;
    ::setsockopt(fd, IPPROTO_IP, IP_TTL, &hops, sizeof hops);
    m_fd = fd;
    m_method = method;
    m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &Pinger::onReadable);
    return true;
}

void Pinger::onReadable() {
    char buffer[kReceiveBuffer];
    for (;;) {
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, buffer, sizeof buffer, 0,
                                     reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0)
            break;
        const QByteArrayView packet(buffer, static_cast<qsizetype>(n));
        const bool raw = m_method == Method::Raw;
        const std::optional<EchoReply> reply = parseEchoReply(packet, raw);
        if (!reply || reply->sequence != m_sequence || from.sin_addr.s_addr != m_target)
            continue;
        // The datagram socket's identifier is the kernel's; it sorts the
        // replies for us. A raw socket sees every echo reply.
        if (raw && reply->identifier != m_identifier)
            continue;
        m_answered = true;
    }
    m_link.wakeWaiters();
}

Pinger::Result Pinger::pingOnce(const QString& ip, int timeoutMs) {
    Result result;
    Ipv4Address address{};
    if (!parseIpv4(ip, address)) {
        result.error = QStringLiteral("'%1' is not an IPv4 address").arg(ip);
        return result;
    }
    if (m_fd < 0) {
        QString message;
        if (!open(message)) {
            result.error = message;
            return result;
        }
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    std::memcpy(&to.sin_addr.s_addr, address.data(), 4);
    m_target = to.sin_addr.s_addr;
    ++m_sequence;
    m_answered = false;
    const QByteArray packet =
        buildEchoRequest(m_identifier, m_sequence, QByteArray(kPayloadLength, 'K'));
    QElapsedTimer clock;
    clock.start();
    if (::sendto(m_fd, packet.constData(), static_cast<size_t>(packet.size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
        result.error = systemError(errno);
        return result;
    }
    m_link.waitFor([this] { return m_answered; }, timeoutMs);
    result.answered = m_answered;
    result.microseconds = clock.nsecsElapsed() / 1000;
    return result;
}

QString pingTimeText(int64_t microseconds) {
    return microseconds < 1000 ? QStringLiteral("< 1") : QString::number(microseconds / 1000);
}

PingSeries runPingSeries(Pinger& pinger, Link& link, const QString& ip, int count, int delayMs,
                         int timeoutMs, const std::function<void(const QString&)>& append) {
    PingSeries series;
    for (int n = 1; n <= count; ++n) {
        append(QStringLiteral("\r\n") + getText(TextPing) + QLatin1Char(' ') + QString::number(n));
        const Pinger::Result r = pinger.pingOnce(ip, timeoutMs);
        ++series.sent;
        if (r.answered) {
            ++series.answered;
            series.microseconds.append(r.microseconds);
            append(QStringLiteral(" - ") + getText(TextPingAnswer) + QLatin1Char(' ') +
                   pingTimeText(r.microseconds) + QLatin1Char(' ') + getText(TextMs) +
                   QLatin1Char('.'));
        } else {
            series.microseconds.append(std::nullopt);
            append(QStringLiteral(" - ") + getText(TextPingNoAnswer) +
                   (r.error.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + r.error));
        }
        if (n < count)
            link.pause(delayMs);
    }
    return series;
}

} // namespace kestrune
