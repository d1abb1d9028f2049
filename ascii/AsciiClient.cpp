#include "ascii/AsciiClient.h"

#include "channel/Link.h"
#include "channel/TrafficLog.h"

namespace kestrune::ascii {

Link& Client::theLink() const {
    return m_link ? *m_link : link();
}

ReadResult Client::read(const ReadRequest& request) {
    Link& l = theLink();
    ReadResult result;
    result.station = stationFromText(request.stationText);
    if (m_busy || l.isWaiting()) {
        result.status = ReadStatus::Busy;
        return result;
    }
    m_busy = true;
    struct Release {
        bool& busy;
        ~Release() { busy = false; }
    } release{m_busy};

    result.sequence = m_sequence.next();
    result.request = buildRequest(result.sequence, request.protocol, result.station, request.tag);

    bool complete = false;
    if (l.isOpen()) {
        l.sendBytes(result.request);
        complete = l.waitUntil(
            [](const QByteArray& rx) { return classifyReply(rx) != ReplyKind::Incomplete; },
            l.busTimeout());
        // Whatever arrived since this request (the send cleared the buffer).
        result.reply = l.rxBuffer();
    }
    result.linkLost = !l.isOpen();

    TrafficLog& log = trafficLog();
    if (!complete) {
        result.status = ReadStatus::Timeout;
        result.text = timeoutText(result.reply.size());
        result.tone = ResultTone::Failure;
        logNote(result.text);
        if (!result.reply.isEmpty())
            logTraffic(result.reply, Direction::Received);
        log.countFailure();
        return result;
    }

    l.markBusActivity();
    logTraffic(result.reply, Direction::Received);
    result.value = replyValue(result.reply, request.protocol);
    if (classifyReply(result.reply) == ReplyKind::Positive) {
        result.status = ReadStatus::Value;
        result.text = okText();
        result.tone = ResultTone::Success;
        log.countResponse();
        return result;
    }
    result.status = ReadStatus::DeviceError;
    result.errorCode = replyErrorCode(result.reply);
    result.text = errorText(result.errorCode);
    result.tone = ResultTone::DeviceError;
    logNote(result.text);
    log.countFailure();
    return result;
}

Client& client() {
    static Client instance;
    return instance;
}

} // namespace kestrune::ascii
