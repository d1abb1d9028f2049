// bench_modbus [rounds]
//
// The register sheet read as the Modbus page reads it, against the real
// simulator (started here on 127.0.0.146, port 24146) over TCP with TCP
// framing and bus delay 0: six FLOAT rows, one request of 12 registers.
//  - reads per second: request, reply wait, check, sheet refreshed;
//  - from the last reply byte to the values in the sheet: the moment the
//    simulator writes the last byte can't be seen from here, so the same
//    request is also timed with a bare socket that stops at the reply's last
//    byte; the difference of the medians is what recognising, checking,
//    logging and showing add. The check and refresh alone are timed too.
#include "base/ProgramDir.h"
#include "channel/Link.h"
#include "modbus/ModbusClient.h"
#include "modbus/RegisterSheet.h"
#include "tests/simprogram/SimProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace kestrune;
using namespace kestrune::modbus;

namespace {

const char Config[] = R"([simulator]
listen = 127.0.0.147:24147
tag-files = no

[gateway b]
family = K1
address = 127.0.0.146
console = no
mbus-master = no
modbus = yes
modbus-tcp-port = 24146
)";

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(10, atoi(argv[1])) : 5000;
    setProgramDir(QStringLiteral(KESTRUNE_BINARY_DIR));
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("sim.ini")));
    if (!config.open(QIODevice::WriteOnly) || config.write(Config) < 0)
        return 1;
    config.close();
    simproc::SimProcess sim;
    if (!sim.start({QStringLiteral("--config"), config.fileName(), QStringLiteral("--run-dir"),
                    dir.filePath(QStringLiteral("run"))})) {
        std::fprintf(stderr, "simulator did not start: %s\n", sim.errors.constData());
        return 1;
    }

    Link link;
    link.setBusDelay(0);
    link.setBusTimeout(1000);
    LinkSettings s;
    s.mode = ConnectionMode::Tcp;
    s.host = QStringLiteral("127.0.0.146");
    s.port = 24146;
    if (!link.openConnection(s))
        return 1;

    // Registers 36..47 hold FLOAT 21.5 in the four orders and a DFLOAT.
    RegisterSheet sheet;
    sheet.setAutoRegister(true);
    sheet.setFirstText(QStringLiteral("36"));
    sheet.setCountText(QStringLiteral("12"));
    for (int row = 0; row < SheetRowCount; ++row)
        sheet.chooseType(row, 6);
    ModbusClient client(link);
    const ReadParameters p{Framing::Tcp, 1, 3, 36, 12};

    std::vector<double> viaSheet;
    QElapsedTimer all;
    all.start();
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        const ReadResult r = client.read(p);
        sheet.applyReadResult(r);
        viaSheet.push_back(double(t.nsecsElapsed()) / 1000.0);
        if (r.outcome != Outcome::Ok || sheet.row(0).valueText != QLatin1String("21.500000")) {
            std::fprintf(stderr, "read %d: %s\n", i, qPrintable(r.text));
            return 1;
        }
    }
    const double seconds = double(all.nsecsElapsed()) / 1e9;
    link.closeConnection();

    // The same request with a bare socket, stopping at the reply's last byte.
    QTcpSocket bare;
    bare.connectToHost(s.host, s.port);
    if (!bare.waitForConnected(2000))
        return 1;
    bare.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const qsizetype replySize = expectedReplyLength(Framing::Tcp, 12);
    std::vector<double> bareRound;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        bare.write(tcpRequest({1, 3, 36, 12}, uint16_t(i)));
        QByteArray got;
        while (got.size() < replySize && bare.waitForReadyRead(1000))
            got += bare.readAll();
        bareRound.push_back(double(t.nsecsElapsed()) / 1000.0);
    }

    // Check and refresh alone, on the last reply.
    if (!link.openConnection(s))
        return 1;
    const ReadResult last = client.read(p);
    QElapsedTimer t;
    t.start();
    constexpr int Repeats = 20000;
    for (int i = 0; i < Repeats; ++i) {
        ReadResult r = last;
        const CheckResult c = checkReply(r.reply, Framing::Tcp, r.transactionId);
        r.registers = c.registers;
        sheet.applyReadResult(r);
    }
    const double afterReply = double(t.nsecsElapsed()) / 1000.0 / Repeats;

    std::printf("six FLOAT rows, 12 registers, TCP framing over TCP, bus delay 0, %d reads\n",
                rounds);
    std::printf("  reads per second (read + sheet shown): %.0f\n", rounds / seconds);
    std::printf("  median read to values shown:  %.1f us\n", median(viaSheet));
    std::printf("  median bare request to last byte: %.1f us\n", median(bareRound));
    std::printf("  difference (last byte to values): %.1f us\n",
                median(viaSheet) - median(bareRound));
    std::printf("  check + sheet refresh alone: %.1f us\n", afterReply);
    sim.terminate();
    sim.waitFinished();
    return 0;
}
