#pragma once

#include "mbus/MeterFeatures.h"
#include "mbus/MeterIdentification.h"
#include "mbus/MeterReply.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>

// The operations on one meter over the link: link reset, selection by
// secondary address, application reset, the two setting telegrams and the
// data read with its report. Each writes its progress and result as the
// page's information box shows it (text()); the page and kestrune-cli show
// that same text. No widgets.
namespace kestrune {

class FcbState;
class Link;

// How one operation ended.
struct MeterOutcome {
    bool done = false; // every step got the answer it wanted
    bool sent = false; // at least one telegram went out
    bool busy = false; // refused: an exchange was still running
    // The language text of the failure (176 link reset, 178 selection,
    // 173 data request, 181 setting), 0 when done or nothing was sent.
    int failureText = 0;
    QByteArray reply;                        // the data reply of a read
    std::optional<MeterReadData> data;       // and what it says
    std::optional<MeterDataColumns> columns; // its identification cells
    // The K2 line's values in V and mA, when shown.
    std::optional<double> voltage;
    std::optional<double> current;
};

class MeterOperations : public QObject {
    Q_OBJECT
public:
    MeterOperations(Link& link, FcbState& fcb, QObject* parent = nullptr);

    // The information box text.
    const QString& text() const { return m_text; }
    void setText(const QString& text);

    // Whether an exchange is running (one of ours, or any wait of the
    // link): a poll tick or a click must not start another then.
    bool isBusy() const;

    // Runs what Apply decided: the selection first when asked, then the
    // operation. Refused (busy set, nothing sent) while busy.
    MeterOutcome apply(const ApplyPlan& plan);

    // The operations, as Apply calls them. Each replaces or extends text().
    bool selectSlave(const QString& id, const QString& manufacturer, const QString& version,
                     const QString& medium, const std::optional<QString>& fabrication = {});
    bool initialiseMeter(uint8_t address);
    // resetIndex is the position in the reset list: 0 no subcode, k + 1
    // subcode k (0..15) in the upper four bits of the subcode byte.
    bool resetApplication(uint8_t address, bool append, int resetIndex);
    // Mode ChangeAddress writes newAddress; mode ChangeSpeed switches to
    // MeterLineSpeeds[speedIndex] (nothing is sent without a speed).
    MeterOutcome writeMeterSetting(MeterFeature mode, uint8_t address, uint8_t newAddress,
                                   int speedIndex, bool alwaysInit);
    // Feature ReadAddress or Diagnostic.
    MeterOutcome requestMeterData(MeterFeature feature, uint8_t address, bool alwaysInit,
                                  bool alwaysReset, int resetIndex);

signals:
    void textChanged(const QString& text);
    void busyChanged(bool busy);
    // After every exchange: the telegram sent and the reply (empty on time-out).
    void exchanged(const QByteArray& telegram, const QByteArray& reply);

private:
    void append(const QString& text);
    QByteArray exchange(const QByteArray& telegram);
    bool resetAnswered(uint8_t address, const QByteArray& reply);
    void appendK2Line(const MeterReadData& data, QByteArrayView reply, MeterOutcome& outcome);
    void appendReport(MeterFeature feature, const MeterReadData& data, const QByteArray& reply,
                      MeterOutcome& outcome);
    MeterOutcome run(const ApplyPlan& plan);

    Link& m_link;
    FcbState& m_fcb;
    QString m_text;
    bool m_running = false;
    bool m_sent = false;
};

} // namespace kestrune
