#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QSocketNotifier;

namespace kestrune {

class Link;

// ICMP echo (PingOnce): through an unprivileged ICMP datagram socket where
// the system allows one for this user (net.ipv4.ping_group_range), else a
// raw ICMP socket (root or CAP_NET_RAW). When neither can be had, open()
// says so in a clear text instead of every ping silently failing. Packets
// leave with a hop limit of 4, as the device must be on the local network
// or close to it.
class Pinger : public QObject {
    Q_OBJECT
public:
    enum class Method { None, Datagram, Raw };
    static constexpr int HopLimit = 4;

    explicit Pinger(Link& link, QObject* parent = nullptr);
    ~Pinger() override;

    // Opens the socket; false with the text to show (text 293 and the
    // system's reasons) when the system allows no ICMP socket.
    bool open(QString& message);
    Method method() const { return m_method; }

    struct Result {
        bool answered = false;
        int64_t microseconds = 0; // round trip when answered
        QString error;            // why it could not be sent (empty otherwise)
    };
    // One echo request and the wait for its reply.
    Result pingOnce(const QString& ip, int timeoutMs);

private:
    void close();
    void onReadable();

    Link& m_link;
    int m_fd = -1;
    Method m_method = Method::None;
    std::unique_ptr<QSocketNotifier> m_notifier;
    uint16_t m_identifier = 0;
    uint16_t m_sequence = 0;
    uint32_t m_target = 0; // network order of the address being pinged
    bool m_answered = false;
};

// The ping page's series (Command_Ping): count attempts with delayMs
// between them, each line appended through `append` as the wizard shows it:
// line break, text 290, blank, the attempt number, then " - ", text 291,
// blank, the time ("< 1" under a millisecond), blank, text 740 and "." for
// an answer, or " - " and text 292 otherwise.
struct PingSeries {
    int sent = 0;
    int answered = 0;
    QList<std::optional<int64_t>> microseconds; // one per attempt
};
PingSeries runPingSeries(Pinger& pinger, Link& link, const QString& ip, int count, int delayMs,
                         int timeoutMs, const std::function<void(const QString&)>& append);

// The round-trip time as the ping shows it: whole milliseconds, "< 1" below
// one.
QString pingTimeText(int64_t microseconds);

} // namespace kestrune
