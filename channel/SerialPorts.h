#pragma once

#include <QList>
#include <QSerialPort>
#include <QString>
#include <QStringList>

#include <optional>

// The serial ports as the wizard offers them: sixteen positions "COM1" to
// "COM16" (the stored choice is the position), each mapped to a device path,
// and the line settings text "9600,N,8,1".
namespace kestrune {

inline constexpr int SerialPortCount = 16;

// Device path of port number n (1..16): the INI file's section
// "SerialPorts", key "COM"n, when present and not empty; otherwise the n-th
// port the system lists, sorted by path; otherwise /dev/ttyS(n-1).
QString serialPortPath(int number);

// The same with the system's port list given (sorted inside), for tests.
QString serialPortPath(int number, const QString& iniPath, QStringList systemPorts);

// "COMn (path)".
QString serialPortDisplayName(int number);

// The sixteen display names in list order (position 0 is COM1).
QStringList serialPortDisplayNames();

// What to do when this user may not open the device at path: text 1300 with
// the group the device belongs to (on Debian "dialout" for real serial
// ports) and the user's login name. Empty when the device can be read and
// written (or does not exist), so a port refused for another reason (held by
// another program) gets no misleading advice.
QString serialAccessAdvice(const QString& path);

// Line settings parsed from "baud,parity,data bits,stop bits".
struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Baud rate a positive number; parity one of N, O, E, M, S (either case);
// data bits 5 to 8; stop bits 1, 1.5 or 2. Blanks around the fields are
// allowed. Empty when the text does not follow that form.
std::optional<LineSettings> parseLineSettings(const QString& text);

// The line speeds serial ports offer (the system's standard rates), in
// ascending order. A speed outside them is a typing error.
QList<qint32> standardLineSpeeds();

// "9600,N,8,1" for settings (the inverse of parseLineSettings).
QString lineSettingsText(const LineSettings& settings);

// The line-event texts of the serial port, by the event codes the wizard has
// always used (3 clear-to-send change ... 1009 receive parity error). Empty
// for codes that write no note (2, data received, among them).
QString serialEventNote(int code);

// Line-event counters of a serial device as the kernel keeps them. The link
// compares two readings and writes one note per kind that went up.
struct LineCounters {
    int cts = 0, dsr = 0, rng = 0, dcd = 0;
    int frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
};

// The event codes (see serialEventNote) of every counter that went up from
// before to after, in the order of the codes.
QList<int> lineEventCodes(const LineCounters& before, const LineCounters& after);

// The counters of the open device fd; empty where the device keeps none
// (pseudo-terminals, USB adapters without them).
std::optional<LineCounters> readLineCounters(int fd);

} // namespace kestrune
