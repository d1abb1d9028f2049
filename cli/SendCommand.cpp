#include "cli/SendCommand.h"

#include "base/TextUtil.h"
#include "channel/Link.h"
#include "channel/ReceiveRules.h"

namespace kestrune::cli {

namespace {

int runSend(Context& context, const QStringList& arguments) {
    QString error;
    const std::optional<QByteArray> telegram = parseTelegram(arguments, error);
    if (!telegram)
        return context.fail(ExitBadInput, QStringLiteral("send: ") + error);
    if (const int code = context.openLink(); code != ExitOk)
        return code;

    Link& l = link();
    l.sendBytes(*telegram);
    const QByteArray reply = l.receiveMBusFrame(l.busTimeout());
    if (!reply.isEmpty()) {
        context.out() << hexPairs(reply) << Qt::endl;
        l.closeConnection();
        return ExitOk;
    }
    if (!l.isOpen()) {
        // A TCP peer that closed or a serial device that vanished.
        return context.fail(ExitLinkFailed,
                            QStringLiteral("the link was lost: ") + l.connectionError());
    }
    // The same note the link wrote to the traffic log.
    const QByteArray& rx = l.rxBuffer();
    int announced = 0;
    (void)receive::isCompleteMBusReply(rx, announced);
    context.out() << receive::mbusTimeoutNote(rx.size(), announced) << Qt::endl;
    l.closeConnection();
    return ExitNoReply;
}

} // namespace

std::optional<QByteArray> parseTelegram(const QStringList& arguments, QString& error) {
    const QString text = arguments.join(QLatin1Char(' '));
    QByteArray bytes;
    if (!parseHexBytes(text, bytes)) {
        error = QStringLiteral("'%1' is not a list of hexadecimal byte pairs").arg(text);
        return std::nullopt;
    }
    if (bytes.isEmpty()) {
        error = QStringLiteral("no bytes to send");
        return std::nullopt;
    }
    return bytes;
}

Command sendCommand() {
    return Command{
        QStringLiteral("send"),
        QStringLiteral("HEX..."),
        QStringLiteral("Send the bytes and print the M-Bus reply (E5 or a long frame) as hex "
                       "pairs, or the time-out note."),
        {},
        &runSend,
    };
}

} // namespace kestrune::cli
