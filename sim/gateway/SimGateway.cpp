#include "SimGateway.h"

#include "netsetup/SetupDatagram.h"

#include <algorithm>
#include <limits>

namespace kestrune::sim {

namespace {

std::array<SetupRecord, SetupRecord::kRecordCount> factoryRecords() {
    std::array<SetupRecord, SetupRecord::kRecordCount> records;
    for (int n = 0; n < SetupRecord::kRecordCount; ++n) {
        records[static_cast<size_t>(n)] = SetupRecord(n);
        records[static_cast<size_t>(n)].restoreDefaults(false);
    }
    return records;
}

} // namespace

const char* familyName(GatewayFamily family) {
    switch (family) {
    case GatewayFamily::K1:
        return "K1";
    case GatewayFamily::K2:
        return "K2";
    case GatewayFamily::K2S:
        return "K2S";
    }
    return "";
}

SimGateway::SimGateway(GatewayFamily family, const MacAddress& mac, const Ipv4Address& address)
    : m_family(family), m_mac(mac), m_address(address), m_records(factoryRecords()) {
    adoptRecordSettings();
}

void SimGateway::adoptRecordSettings() {
    const SetupRecord& r0 = m_records[0];
    m_startedIpField = r0.ipv4();
    m_port = r0.port();
    m_udp = r0.isUsingUdp();
}

MacAddress SimGateway::makeMac(GatewayFamily family, uint32_t serial) {
    MacAddress mac{};
    switch (family) {
    case GatewayFamily::K1:
        mac = {0x00, 0x20, 0x4A, 0, 0, 0};
        break;
    case GatewayFamily::K2:
        mac = {0x00, 0x04, 0x25, 0, 0, 0};
        break;
    case GatewayFamily::K2S:
        mac = {0x02, 0x4B, 0x7D, 0, 0, 0};
        break;
    }
    mac[3] = static_cast<uint8_t>(serial >> 16);
    mac[4] = static_cast<uint8_t>(serial >> 8);
    mac[5] = static_cast<uint8_t>(serial);
    return mac;
}

uint8_t SimGateway::variantByte(GatewayFamily family) {
    switch (family) {
    case GatewayFamily::K1:
        return 0x00;
    case GatewayFamily::K2:
        return 0x02;
    case GatewayFamily::K2S:
        return 0x01;
    }
    return 0x00;
}

const SetupRecord& SimGateway::record(int n) const {
    return m_records[static_cast<size_t>(std::clamp(n, 0, SetupRecord::kRecordCount - 1))];
}

bool SimGateway::storeRecord(int n, QByteArrayView bytes) {
    if (n < 0 || n >= SetupRecord::kRecordCount || bytes.isEmpty())
        return false;
    SetupRecord& rec = m_records[static_cast<size_t>(n)];
    QByteArray stored = rec.bytes();
    const qsizetype count = std::min(bytes.size(), stored.size());
    stored.replace(0, count, bytes.first(count));
    rec.setBytes(stored);
    return true;
}

void SimGateway::raise(SimEvent::Kind kind, const Ipv4Address& address) {
    m_events.append(SimEvent{kind, address});
}

void SimGateway::restart(int64_t nowMs) {
    m_restarting = true;
    m_restartUntil = nowMs > std::numeric_limits<int64_t>::max() - m_restartMs
                         ? std::numeric_limits<int64_t>::max()
                         : nowMs + m_restartMs;
    ++m_restartCount;

    const SetupRecord& r0 = m_records[0];
    const Ipv4Address ip = r0.ipv4();
    if (ip != m_startedIpField) {
        if (isZero(ip)) {
            raise(SimEvent::Kind::DhcpRequested);
        } else if (!addressAllowed(ip)) {
            raise(SimEvent::Kind::AddressRefused, ip);
        } else if (ip != m_address) {
            m_address = ip;
            raise(SimEvent::Kind::MoveAddress, ip);
        }
        m_startedIpField = ip;
    }
    if (r0.port() != m_port || r0.isUsingUdp() != m_udp) {
        m_port = r0.port();
        m_udp = r0.isUsingUdp();
        raise(SimEvent::Kind::TransportChanged);
    }
}

bool SimGateway::addressAllowed(const Ipv4Address& address) const {
    if (m_loopbackOnly)
        return isLoopback(address);
    // One device: not "this network", not multicast, reserved or broadcast.
    return address[0] != 0 && address[0] < 224;
}

bool SimGateway::setupAllowed() const {
    return m_records[1].setup77FEAllowed();
}

QByteArray SimGateway::discoveryAnswer() const {
    DiscoveryAnswer answer;
    answer.variant = variant();
    answer.name = familyName(m_family);
    answer.firmwareMajor = 1;
    answer.firmwareMinor = 0;
    answer.port = m_port;
    answer.mac = m_mac;
    return buildDiscoveryAnswer(answer);
}

SetupReply SimGateway::handleSetupDatagram(QByteArrayView datagram, int64_t nowMs) {
    SetupReply reply;
    if (isRestarting(nowMs))
        return reply;

    const SetupRequest request = parseSetupRequest(datagram);
    if (request.kind == SetupRequest::Kind::Invalid)
        return reply;
    // Setup through this port can be locked in record 1; discovery stays.
    if (request.kind != SetupRequest::Kind::Discovery && !setupAllowed())
        return reply;
    if (request.kind == SetupRequest::Kind::IpSetup && !request.ipSetup.matches(m_mac))
        return reply;
    const SetupFault fault = takeFault();
    const uint32_t restartsBefore = m_restartCount;
    switch (request.kind) {
    case SetupRequest::Kind::Invalid:
        break;
    case SetupRequest::Kind::Discovery:
        reply.datagrams.append(discoveryAnswer());
        break;
    case SetupRequest::Kind::ReadRecord:
        reply.datagrams.append(
            recordReadAnswer(request.recordNumber, record(request.recordNumber).bytes()));
        break;
    case SetupRequest::Kind::WriteRecord:
        if (storeRecord(request.recordNumber, request.record)) {
            reply.datagrams.append(recordWriteAck(request.recordNumber));
            restart(nowMs);
        }
        break;
    case SetupRequest::Kind::IpSetup: {
        const IpSetupRequest& ip = request.ipSetup;
        if (ip.isDhcp()) {
            m_records[0].setIpv4(ip.address);
            m_startedIpField = ip.address;
            raise(SimEvent::Kind::DhcpRequested);
            restart(nowMs);
        } else if (!addressAllowed(ip.address)) {
            raise(SimEvent::Kind::AddressRefused, ip.address);
        } else {
            m_records[0].setIpv4(ip.address);
            restart(nowMs);
            if (m_address != ip.address) {
                // Record 0 already held this address while the gateway lived
                // elsewhere (set by the runtime): move all the same.
                m_address = ip.address;
                raise(SimEvent::Kind::MoveAddress, ip.address);
            }
        }
        break;
    }
    }
    if (fault == SetupFault::NoComeback && m_restartCount != restartsBefore)
        m_restartUntil = std::numeric_limits<int64_t>::max();
    if (fault == SetupFault::NoReply)
        reply.datagrams.clear();
    for (QByteArray& d : reply.datagrams) {
        if (fault == SetupFault::ShortReadAnswer && request.kind == SetupRequest::Kind::ReadRecord)
            d.truncate(100);
        if (fault == SetupFault::WrongAck && request.kind == SetupRequest::Kind::WriteRecord)
            d = recordWriteAck((request.recordNumber + 1) % SetupRecord::kRecordCount);
    }
    reply.events = takeEvents();
    return reply;
}

void SimGateway::setSetupFault(SetupFault fault, int count) {
    m_fault = fault;
    m_faultRemaining = fault == SetupFault::None ? 0 : count;
}

SetupFault SimGateway::takeFault() {
    if (m_faultRemaining == 0)
        return SetupFault::None;
    if (m_faultRemaining > 0)
        --m_faultRemaining;
    return m_fault;
}

QList<SimEvent> SimGateway::takeEvents() {
    QList<SimEvent> events;
    events.swap(m_events);
    return events;
}

} // namespace kestrune::sim
