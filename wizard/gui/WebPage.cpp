#include "WebPage.h"

#include "base/Language.h"
#include "wizard/PageRules.h"

#include <QDesktopServices>
#include <QMessageBox>

namespace kestrune {

namespace {

constexpr int TextNoBrowser1 = 901;
constexpr int TextNoBrowser2 = 902;

void showNoBrowser(QWidget* parent) {
    QString text = getText(TextNoBrowser1) + QLatin1Char('\n') + getText(TextNoBrowser2);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QMessageBox::warning(parent, QStringLiteral("Kestrune"), text);
}

} // namespace

bool openWebAddress(QWidget* parent, const QUrl& url) {
    if (url.isValid() && QDesktopServices::openUrl(url))
        return true;
    showNoBrowser(parent);
    return false;
}

bool openDeviceWebPage(QWidget* parent, const QString& address) {
    return openWebAddress(parent, deviceWebPageUrl(address));
}

} // namespace kestrune
