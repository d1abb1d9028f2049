#include "mbus/MeterOperations.h"

#include "base/Language.h"
#include "base/TextUtil.h"
#include "channel/Link.h"
#include "mbus/FcbState.h"
#include "mbus/MBusFrame.h"
#include "zarvek/loader/SupportLibrary.h"

namespace kestrune {

namespace {

const QString CrLf = QStringLiteral("\r\n");

// The subcode byte of a reset list position; nothing for position 0 or
// one outside the list.
QByteArray resetSubcode(int resetIndex) {
    if (resetIndex < 1 || resetIndex >= MeterResetListCount)
        return {};
    return QByteArray(1, static_cast<char>(((resetIndex - 1) * 16) & 0xFF));
}

// FillString INT16 (type 0) in order DCBA (1) gives the value of two bytes
// received least significant first; the report shows tenths as a plain
// decimal number ("23.5", "40").
std::optional<double> tenths(const QByteArray& twoBytes, QString& error) {
    QString text;
    if (!zarvek::fillString(twoBytes, 0, 1, text, &error))
        return std::nullopt;
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok) {
        error = QStringLiteral("The support library gave no number for %1").arg(hexPairs(twoBytes));
        return std::nullopt;
    }
    return value / 10.0;
}

QString plainNumber(double value) {
    return QString::number(value, 'g', 12);
}

} // namespace

// ---- Operations ----------------------------------------------------------------------

MeterOperations::MeterOperations(Link& link, FcbState& fcb, QObject* parent)
    : QObject(parent), m_link(link), m_fcb(fcb) {}

void MeterOperations::setText(const QString& text) {
    m_text = text;
    emit textChanged(m_text);
}

void MeterOperations::append(const QString& text) {
    m_text += text;
    emit textChanged(m_text);
}

bool MeterOperations::isBusy() const {
    return m_running || m_link.isWaiting();
}

QByteArray MeterOperations::exchange(const QByteArray& telegram) {
    if (m_link.isOpen())
        m_sent = true;
    m_link.sendBytes(telegram);
    const QByteArray reply = m_link.receiveMBusFrame(m_link.busTimeout());
    emit exchanged(telegram, reply);
    return reply;
}

MeterOutcome MeterOperations::apply(const ApplyPlan& plan) {
    if (isBusy()) {
        MeterOutcome refused;
        refused.busy = true;
        return refused;
    }
    m_running = true;
    m_sent = false;
    emit busyChanged(true);
    MeterOutcome outcome = run(plan);
    outcome.sent = m_sent;
    m_running = false;
    emit busyChanged(false);
    return outcome;
}

MeterOutcome MeterOperations::run(const ApplyPlan& plan) {
    MeterOutcome outcome;
    if (plan.select && !selectSlave(plan.secId, plan.secManufacturer, plan.secVersion,
                                    plan.secMedium, plan.selectFabrication)) {
        outcome.failureText = 178;
        return outcome;
    }
    switch (plan.operation) {
    case MeterFeature::Initialise:
        outcome.done = initialiseMeter(plan.target);
        outcome.failureText = outcome.done ? 0 : 176;
        return outcome;
    case MeterFeature::ReadAddress:
    case MeterFeature::Diagnostic:
        return requestMeterData(plan.operation, plan.target, plan.alwaysInit, plan.alwaysReset,
                                plan.resetIndex);
    case MeterFeature::ChangeAddress:
    case MeterFeature::ChangeSpeed:
        return writeMeterSetting(plan.operation, plan.target, static_cast<uint8_t>(plan.newAddress),
                                 plan.lineSpeedIndex, plan.alwaysInit);
    case MeterFeature::ApplicationReset:
        outcome.done = resetApplication(plan.target, plan.alwaysInit, plan.resetIndex);
        outcome.failureText = outcome.done ? 0 : 176;
        return outcome;
    }
    return outcome;
}

bool MeterOperations::selectSlave(const QString& id, const QString& manufacturer,
                                  const QString& version, const QString& medium,
                                  const std::optional<QString>& fabrication) {
    setText(getText(2632) + CrLf);
    std::optional<QStringView> fab;
    if (fabrication)
        fab = *fabrication;
    // The selection leaves the frame count bits alone.
    const QByteArray reply = exchange(buildSelectionFrame(id, manufacturer, version, medium, fab));
    if (reply.isEmpty()) {
        append(getText(178));
        return false;
    }
    append(getText(177) + CrLf);
    return true;
}

bool MeterOperations::initialiseMeter(uint8_t address) {
    setText(getText(174) + CrLf);
    return resetAnswered(address, exchange(buildShortFrame(mbus::kSndNke, address)));
}

// Link reset and application reset end alike: any answer sets the frame
// count bit.
bool MeterOperations::resetAnswered(uint8_t address, const QByteArray& reply) {
    if (reply.isEmpty()) {
        append(getText(176));
        return false;
    }
    m_fcb.afterLinkReset(address);
    append(getText(175) + CrLf);
    return true;
}

bool MeterOperations::resetApplication(uint8_t address, bool appendText, int resetIndex) {
    const QString heading = getText(780) + CrLf;
    if (appendText)
        append(heading);
    else
        setText(heading);
    return resetAnswered(address,
                         exchange(buildLongFrame(mbus::kSndUd, address, mbus::kCiApplicationReset,
                                                 resetSubcode(resetIndex))));
}

MeterOutcome MeterOperations::writeMeterSetting(MeterFeature mode, uint8_t address,
                                                uint8_t newAddress, int speedIndex,
                                                bool alwaysInit) {
    MeterOutcome outcome;
    if (mode == MeterFeature::ChangeSpeed && (speedIndex < 0 || speedIndex >= MeterLineSpeedCount))
        return outcome; // no speed chosen: nothing to send
    bool ok = true;
    if (alwaysInit)
        ok = initialiseMeter(address);
    else
        setText(QString());
    const uint8_t c = m_fcb.sndUdControl(address);
    if (!ok) {
        outcome.failureText = 176;
        return outcome;
    }
    append(getText(179) + CrLf);
    QByteArray frame;
    if (mode == MeterFeature::ChangeAddress) {
        // DIF 01 (8-bit integer), VIF 7A (bus address), the new address.
        const char record[] = {0x01, 0x7A, static_cast<char>(newAddress)};
        frame = buildLongFrame(c, address, mbus::kCiDataSend, QByteArrayView(record, 3));
    } else {
        frame = buildLongFrame(c, address, static_cast<uint8_t>(mbus::kCiSpeed300 + speedIndex));
    }
    const QByteArray reply = exchange(frame);
    if (reply.size() == 1 && static_cast<uint8_t>(reply[0]) == mbus::kAck) {
        append(getText(180) + CrLf + CrLf);
        m_fcb.afterSettingAcknowledged(address);
        outcome.done = true;
        return outcome;
    }
    append(getText(181));
    outcome.failureText = 181;
    return outcome;
}

MeterOutcome MeterOperations::requestMeterData(MeterFeature feature, uint8_t address,
                                               bool alwaysInit, bool alwaysReset, int resetIndex) {
    MeterOutcome outcome;
    bool ok = true;
    if (alwaysInit) {
        ok = initialiseMeter(address);
        if (ok && alwaysReset)
            ok = resetApplication(address, true, resetIndex);
    } else if (alwaysReset) {
        ok = resetApplication(address, false, resetIndex);
    } else {
        setText(QString());
    }
    if (!ok) {
        outcome.failureText = 176;
        return outcome;
    }
    append((alwaysInit || alwaysReset ? CrLf : QString()) + getText(171));

    const uint8_t c = m_fcb.reqUd2Control(address);
    const QByteArray reply = exchange(buildShortFrame(c, address));
    if (reply.size() <= 1) {
        // Nothing, or only E5: no data.
        append(getText(173));
        outcome.failureText = 173;
        return outcome;
    }
    append(CrLf + getText(172));
    const MeterReadData data = readMeterReply(reply);
    outcome.reply = reply;
    outcome.data = data;
    outcome.columns = extractMeterData(reply);
    appendReport(feature, data, reply, outcome);
    m_fcb.afterDataReply(address);
    outcome.done = true;
    return outcome;
}

void MeterOperations::appendReport(MeterFeature feature, const MeterReadData& data,
                                   const QByteArray& reply, MeterOutcome& outcome) {
    if (feature == MeterFeature::ReadAddress) {
        QString t = QLatin1Char(' ') + getText(642) + QLatin1Char(' ') + data.address +
                    QStringLiteral(", ") + getText(643) + QLatin1Char(' ') + data.identification +
                    QStringLiteral(" (") + data.letters + QStringLiteral(").") + CrLf + CrLf;
        t += getText(644) + QLatin1Char(' ') + data.address + QLatin1Char('.') + CrLf;
        t += getText(645) + QLatin1Char(' ') + data.identification + QLatin1Char('.') +
             data.manufacturer + QLatin1Char('.') + data.version + QLatin1Char('.') + data.medium +
             CrLf + getText(646);
        if (data.fixedStructure)
            t += CrLf + getText(647);
        append(t);
        return;
    }
    if (feature != MeterFeature::Diagnostic)
        return;
    if (data.fixedStructure) {
        append(CrLf + getText(648));
        return;
    }
    if (isK2WithBusValues(data))
        appendK2Line(data, reply, outcome);
    append(CrLf + getText(649) + CrLf + hexDumpText(reply));
}

void MeterOperations::appendK2Line(const MeterReadData& data, QByteArrayView reply,
                                   MeterOutcome& outcome) {
    // A reply too short to hold both values shows no line.
    const std::optional<K2RawValues> raw = k2RawValues(reply);
    if (!raw)
        return;
    QString error;
    const std::optional<double> u = tenths(raw->voltage, error);
    const std::optional<double> i = u ? tenths(raw->current, error) : std::nullopt;
    if (!u || !i) {
        append(CrLf + CrLf + error + CrLf);
        return;
    }
    outcome.voltage = u;
    outcome.current = i;
    const QString model = data.version == QLatin1String("02")
                              ? QStringLiteral("Zelmor M-Bus K2 V2: U = ")
                              : QStringLiteral("Zelmor M-Bus K2S: U = ");
    append(CrLf + CrLf + model + plainNumber(*u) + QStringLiteral(" V  I = ") + plainNumber(*i) +
           QStringLiteral(" mA") + CrLf);
}

} // namespace kestrune
