#pragma once

#include "netsetup/Address.h"
#include "netsetup/SetupRecord.h"

#include <QByteArray>
#include <QList>

#include <array>
#include <cstdint>

namespace kestrune::sim {

enum class GatewayFamily { K1, K2, K2S };

// "K1", "K2", "K2S".
const char* familyName(GatewayFamily family);

// Something the runtime has to act on (or at least log). Raised by the setup
// service and by the console; handed back by the call that raised it.
struct SimEvent {
    enum class Kind {
        // Record 0's transparent port or protocol changed: rebind the
        // transparent port (transparentPort(), transparentUdp()).
        TransportChanged,
        // The gateway now lives at `address`: rebind its sockets there.
        MoveAddress,
        // The gateway wants an address by DHCP: pick one and call setAddress().
        DhcpRequested,
        // Asked to move to `address`, which is outside 127.0.0.0/8 (or, in a
        // private network namespace, no address of one device). The
        // simulator never leaves loopback, so the gateway stays where it is.
        AddressRefused,
    };
    Kind kind;
    Ipv4Address address{};
};

// Fault injection for the setup service, so tests can walk the wizard's
// failure paths.
enum class SetupFault {
    None,
    // Requests take effect (a write is stored and restarts the gateway) but
    // nothing is answered.
    NoReply,
    // Record read answers are cut to 100 bytes: shorter than a reader accepts.
    ShortReadAnswer,
    // Write acknowledgements carry the next record number.
    WrongAck,
    // A restart never ends: the gateway stays silent from then on.
    NoComeback,
};

struct SetupReply {
    QList<QByteArray> datagrams; // to the sender, in order
    QList<SimEvent> events;
};

// One simulated gateway: identity, eight setup records with factory
// contents, and the setup service of port 30718. Times are milliseconds on
// any monotonic clock the runtime likes; nothing here sleeps or touches a
// socket.
//
// A record write or an accepted IP-SETUP restarts the gateway: it answers
// nothing (network or console) until restartMs have passed. When record 1
// forbids setup through port 77FE, record reads, writes and IP-SETUP are
// ignored; discovery is still answered.
class SimGateway {
public:
    static constexpr int64_t kDefaultRestartMs = 3000;
    // Longest record the gateway keeps; longer writes are cut to the
    // record's own length anyway.
    static constexpr int kMaxRecordBytes = 512;

    SimGateway(GatewayFamily family, const MacAddress& mac, const Ipv4Address& address);

    // The family's MAC vendor prefix followed by the low 24 bits of serial.
    static MacAddress makeMac(GatewayFamily family, uint32_t serial);
    static uint8_t variantByte(GatewayFamily family);

    GatewayFamily family() const { return m_family; }
    const MacAddress& mac() const { return m_mac; }
    uint8_t variant() const { return variantByte(m_family); }

    // Where the gateway currently lives. setAddress() is the runtime's answer
    // to DhcpRequested (or its initial placement).
    const Ipv4Address& address() const { return m_address; }
    void setAddress(const Ipv4Address& address) { m_address = address; }

    // The transparent M-Bus port as the gateway runs it (from record 0 at
    // the last start).
    uint16_t transparentPort() const { return m_port; }
    bool transparentUdp() const { return m_udp; }

    // Outside a private network namespace the gateway lives on loopback
    // only and refuses to move elsewhere (the default). Inside one, any
    // address of one device is taken.
    void setLoopbackOnly(bool loopbackOnly) { m_loopbackOnly = loopbackOnly; }
    bool addressAllowed(const Ipv4Address& address) const;

    void setRestartMs(int64_t ms) { m_restartMs = ms < 0 ? 0 : ms; }
    int64_t restartMs() const { return m_restartMs; }
    bool isRestarting(int64_t nowMs) const { return m_restarting && nowMs < m_restartUntil; }
    int64_t restartUntil() const { return m_restartUntil; }
    // Counts restarts, so the console can tell it was reset under its feet.
    uint32_t restartCount() const { return m_restartCount; }

    const SetupRecord& record(int n) const;
    // Stores written bytes over the record: at most the record's own length,
    // never an empty write. Returns false for a bad record number or no bytes.
    bool storeRecord(int n, QByteArrayView bytes);
    // Takes record 0's transparent port and protocol (and its IP field) as
    // the running settings at once: no restart, no events. For the runtime's
    // initial set-up after storing records of its own.
    void adoptRecordSettings();
    // Goes silent until nowMs + restartMs and starts again with record 0's
    // settings (address, transparent port and protocol), raising events for
    // what changed.
    void restart(int64_t nowMs);

    QByteArray discoveryAnswer() const;

    // One datagram that arrived at the setup port. Malformed, short, unknown
    // or not-for-us datagrams give no reply.
    SetupReply handleSetupDatagram(QByteArrayView datagram, int64_t nowMs);

    // Events raised since the last call (the console drains them this way).
    QList<SimEvent> takeEvents();

    // The fault for the next requests that the service takes: count < 0 for
    // every one until cleared, otherwise that many.
    void setSetupFault(SetupFault fault, int count = -1);
    SetupFault setupFault() const { return m_faultRemaining == 0 ? SetupFault::None : m_fault; }

private:
    bool setupAllowed() const;
    void raise(SimEvent::Kind kind, const Ipv4Address& address = {});
    SetupFault takeFault();

    GatewayFamily m_family;
    MacAddress m_mac;
    Ipv4Address m_address;
    std::array<SetupRecord, SetupRecord::kRecordCount> m_records;
    // Record 0's IP field as the gateway last started with it.
    Ipv4Address m_startedIpField{};
    uint16_t m_port = 0;
    bool m_udp = true;
    int64_t m_restartMs = kDefaultRestartMs;
    bool m_loopbackOnly = true;
    bool m_restarting = false;
    int64_t m_restartUntil = 0;
    uint32_t m_restartCount = 0;
    QList<SimEvent> m_events;
    SetupFault m_fault = SetupFault::None;
    int m_faultRemaining = 0;
};

} // namespace kestrune::sim
