#pragma once

#include <QString>
#include <QUrl>

class QWidget;

// Web pages opened from the wizard: the sites behind the start page's links
// and a device's own web page. The system's handler for web addresses opens
// them; no command line is ever built from an address.
namespace kestrune {

// Opens the address with the system's handler. When nothing can open it, a
// warning box tells so (language texts 901 and 902) and the result is false.
bool openWebAddress(QWidget* parent, const QUrl& url);

// Opens a web site named on the start page. When nothing can open it, a
// warning box says so and gives the address to type into a browser
// (language texts 903 and 904); the result is false.
bool openWebSite(QWidget* parent, const QUrl& url);

// Opens "http://" + address. The address must be a plain IPv4 address (it
// comes from a device on the network); anything else is refused with the
// same warning as a missing web browser.
bool openDeviceWebPage(QWidget* parent, const QString& address);

} // namespace kestrune
