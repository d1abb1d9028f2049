#include "WebPage.h"

#include "base/Language.h"
#include "wizard/PageRules.h"

#include <QDesktopServices>
#include <QMessageBox>

namespace kestrune {

namespace {

constexpr int TextNoBrowser1 = 901;
constexpr int TextNoBrowser2 = 902;
constexpr int TextSiteNotOpened = 903;
constexpr int TextGoToAddress = 904;

void showWarning(QWidget* parent, QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QMessageBox::warning(parent, QStringLiteral("Kestrune"), text);
}

void showNoBrowser(QWidget* parent) {
    showWarning(parent, getText(TextNoBrowser1) + QLatin1Char('\n') + getText(TextNoBrowser2));
}

} // namespace

bool openWebAddress(QWidget* parent, const QUrl& url) {
    if (url.isValid() && QDesktopServices::openUrl(url))
        return true;
    showNoBrowser(parent);
    return false;
}

bool openWebSite(QWidget* parent, const QUrl& url) {
    if (url.isValid() && QDesktopServices::openUrl(url))
        return true;
    showWarning(parent, getText(TextSiteNotOpened) + QLatin1Char('\n') + getText(TextGoToAddress) +
                            QLatin1Char('\n') + url.toDisplayString());
    return false;
}

bool openDeviceWebPage(QWidget* parent, const QString& address) {
    return openWebAddress(parent, deviceWebPageUrl(address));
}

} // namespace kestrune
