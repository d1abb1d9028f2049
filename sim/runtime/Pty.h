#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class QSocketNotifier;

namespace kestrune::sim {

// A serial character format as devices are configured: "9600,N,8,1" (speed,
// parity N/E/O/M/S, data bits 7 or 8, stop bits 1 or 2).
struct SerialLine {
    int baud = 9600;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;

    QString text() const;
};
std::optional<SerialLine> parseSerialLine(const QString& text);
// Bits one character takes on the line: start, data, parity, stop.
int characterBits(const SerialLine& line);

// What a pseudo-terminal tells of the line the program set on its side: the
// speed and the stop bits exactly; of the parity only odd, mark and space
// (the kernel keeps those flags but always drops the parity-enable bit, so
// even parity and none look alike); the data bits not at all.
struct PtyLine {
    int baud = 0; // 0: unknown
    int stopBits = 1;
    char parityHint = 0; // 'O', 'M', 'S', 'E' when known; 0: none or even
};

// Whether a device set to `device` would understand a program whose side of
// the line is `program`, as far as a pseudo-terminal shows it.
bool lineMatches(const SerialLine& device, const PtyLine& program);

// A pseudo-terminal that plays one serial line of a device. The program
// under test opens the slave side (slavePath(), or the stable link made by
// linkAs()) like any serial port; we read and write the master side.
//
// We hold the slave open ourselves as well, so the line survives the
// program closing and reopening its port (no hang-up on the master).
class Pty : public QObject {
    Q_OBJECT
public:
    explicit Pty(QObject* parent = nullptr);
    ~Pty() override;

    // Opens a new pair; false with errorString() on failure.
    bool open();
    void close();
    bool isOpen() const { return m_master >= 0; }

    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }

    // Creates (or replaces) a symbolic link at linkPath pointing to the
    // slave, removed again on close. False with errorString() on failure.
    bool linkAs(const QString& linkPath);
    QString linkPath() const { return m_link; }

    // Writes all bytes to the line (the program reads them). False when the
    // pseudo-terminal is gone.
    bool write(const QByteArray& bytes);

    // The line speed the program last set on its side (termios of the
    // pair), exactly, also when it is no standard speed (2401); 0 when it
    // can't be read. (A pseudo-terminal keeps the speed but not the parity,
    // so the character format can't be learnt this way.)
    int baudRate() const;
    // Speed, stop bits and what can be seen of the parity.
    PtyLine line() const;

    // Discards bytes the program wrote that were not read yet.
    void flushInput();

signals:
    void received(const QByteArray& bytes);

private:
    void readMaster();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_link;
    QString m_error;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace kestrune::sim
