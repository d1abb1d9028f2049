#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// Rules of the wizard's pages that need no window: the fixed lists of the
// connection page, how its port field is stored, which INI section a task
// page takes its time-outs from, the texts a page shows when its link fails
// and the address of a device's web page.
namespace kestrune {

// The baud-rate list of the connection page, rebuilt for the task on every
// entry. Modbus and the ASCII protocol (tasks 5 and 6) offer 300 to 19200;
// every other task offers 300 to 9600, where 600, 1200 and 4800 carry the
// note rarelySupported (language text 690) after a blank. The positions are
// what the settings store keeps; they line up with the link's speed list.
QStringList baudRateItems(int task, const QString& rarelySupported);

// The fixed lists of the serial format fields. Their positions line up with
// the link's "7;8", "N;O;E;M;S" and "1;2".
QStringList dataBitsItems();
QStringList parityItems();
QStringList stopBitsItems();

// Whether the serial format fields (data bits, parity, stop bits) are shown
// on the connection page for the task: only protocols other than M-Bus let
// the user choose them (tasks 5 to 8).
bool serialFormatShown(int task);

// The port field as it is stored: "65535" when its numeric value is above
// 65535, otherwise the text as typed.
QString portTextToStore(const QString& typed);

// The INI section whose BusDelay, BusTimeout and OpenTimeout a task page
// loads on entry: 60 "IP", 70 "ModBus", 80 "MBusASCII", 90 "PadPuls", 100
// "FreePacketAndString"; empty for every other page.
QString timeoutSectionForPage(int page);

// Whether the page opens the link on entry (60, 70, 80, 90, 100).
bool opensLink(int page);

// The failure text of the meter features page: text 158, then, when the link
// reported an error, a line break, "Error description: " and the error.
QString meterPageFailureText(const QString& text158, const QString& error);

// The failure caption of a result label (pages 70 and 80): text 158, or text
// 158, " Error: " and the error when the link reported one.
QString resultLabelFailureText(const QString& text158, const QString& error);

// Whether the text is a plain IPv4 address: four decimal numbers 0 to 255
// separated by dots, nothing else (no blanks, no port, no host name, no
// shortened forms such as "10.1").
bool isPlainIPv4(const QString& text);

// The web page of a device, "http://" + its address; an invalid URL when the
// address is not a plain IPv4 address, so that nothing a device reported can
// turn into another kind of address or a command.
QUrl deviceWebPageUrl(const QString& address);

} // namespace kestrune
