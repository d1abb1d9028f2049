#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace kestrune::sim {

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
