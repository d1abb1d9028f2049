#include "mbus/MeterFeatures.h"

#include "base/Language.h"
#include "base/Settings.h"
#include "mbus/MBusFrame.h"

#include <cmath>

namespace kestrune {

namespace {

QString flagText(bool on) {
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

bool isFeature(int feature, std::initializer_list<int> among) {
    for (int f : among)
        if (f == feature)
            return true;
    return false;
}

} // namespace

QStringList meterLineSpeedTexts() {
    QStringList texts;
    for (int baud : MeterLineSpeeds) {
        // Speeds many meters do not offer say so.
        const bool rare = baud == 600 || baud == 1200 || baud == 4800;
        texts << QString::number(baud) + (rare ? QLatin1Char(' ') + getText(690) : QString());
    }
    return texts;
}

QStringList meterResetTexts() {
    QStringList texts{getText(760)};
    for (int k = 0; k < MeterResetListCount - 1; ++k) // texts: 761-776
        texts << QString::number(k) + QStringLiteral(" - ") + getText(761 + k);
    return texts;
}

// ---- Control state -----------------------------------------------------------------

MeterFeatureControls::MeterFeatureControls(Store store) : m_store(std::move(store)) {
    if (!m_store)
        m_store = [](const QString& key, const QString& value) { settings::save(key, value); };
}

void MeterFeatureControls::store(const QString& key, const QString& value) {
    m_store(key, value);
}

MeterFeatureControls::Stored MeterFeatureControls::readStored() {
    const auto flag = [](const QString& key, const char* defaultValue) {
        return settings::getNumber(key, QLatin1String(defaultValue)) != 0;
    };
    Stored s;
    const int64_t feature = settings::getNumber(meterkeys::Feature, QStringLiteral("0"));
    s.feature = (feature >= 0 && feature < MeterFeatureCount) ? static_cast<int>(feature) : 0;
    s.address0 = settings::get(meterkeys::Address0);
    s.broadcast = flag(meterkeys::Broadcast, "0");
    s.secondary = flag(meterkeys::UseSecondary, "0");
    s.enhanced = flag(meterkeys::UseEnhanced, "0");
    s.alwaysInit = flag(meterkeys::AlwaysInit, "0");
    s.alwaysApp = flag(meterkeys::AlwaysApp, "0");
    return s;
}

void MeterFeatureControls::enter(const Stored& stored) {
    m_storedAddress0 = stored.address0;
    m_s.broadcast.checked = stored.broadcast;
    m_s.address0 = stored.broadcast ? QStringLiteral("254") : stored.address0;
    m_s.secondary.checked = stored.secondary;
    m_s.enhanced.checked = stored.enhanced;
    m_s.fabricationEnabled = stored.enhanced;
    m_s.alwaysInit.checked = stored.alwaysInit;
    m_s.alwaysApp.checked = stored.alwaysApp;
    selectFeature((stored.feature >= 0 && stored.feature < MeterFeatureCount) ? stored.feature : 0);
}

CheckBoxState& MeterFeatureControls::box(Box which) {
    switch (which) {
    case Box::AlwaysInit:
        return m_s.alwaysInit;
    case Box::AlwaysApp:
        return m_s.alwaysApp;
    case Box::Broadcast:
        return m_s.broadcast;
    case Box::Secondary:
        return m_s.secondary;
    case Box::Enhanced:
        break;
    }
    return m_s.enhanced;
}

void MeterFeatureControls::setChecked(Box which, bool checked) {
    CheckBoxState& b = box(which);
    if (b.checked == checked)
        return;
    b.checked = checked;
    switch (which) {
    case Box::AlwaysInit:
        onAlwaysInit();
        break;
    case Box::AlwaysApp:
        onAlwaysApp();
        break;
    case Box::Broadcast:
        onBroadcast();
        break;
    case Box::Secondary:
        onSecondary();
        break;
    case Box::Enhanced:
        onEnhanced();
        break;
    }
}

// The box is disabled and cleared; its value is kept until an operation
// that offers it again restores it.
void MeterFeatureControls::forceOff(Box which) {
    CheckBoxState& b = box(which);
    bool& held = which == Box::AlwaysInit ? m_s.alwaysInitSaved : m_s.alwaysAppSaved;
    bool& saved = which == Box::AlwaysInit ? m_s.savedAlwaysInit : m_s.savedAlwaysApp;
    b.enabled = false;
    if (!held) {
        saved = b.checked;
        held = true;
    }
    setChecked(which, false);
}

// The box is enabled again with the value it had when it was forced off.
// A box that was not forced off keeps the value it has: that is the user's
// latest choice (or the stored one at page entry), not an older one.
void MeterFeatureControls::restore(Box which) {
    CheckBoxState& b = box(which);
    bool& held = which == Box::AlwaysInit ? m_s.alwaysInitSaved : m_s.alwaysAppSaved;
    const bool saved = which == Box::AlwaysInit ? m_s.savedAlwaysInit : m_s.savedAlwaysApp;
    b.enabled = true;
    if (held) {
        held = false;
        setChecked(which, saved);
    }
}

void MeterFeatureControls::setAddress0(const QString& text) {
    if (m_s.address0 == text)
        return;
    editAddress0(text);
}

// The stored address comes back into a box the user can edit: the
// operations that do this never address 254 through it.
void MeterFeatureControls::reloadAddress0() {
    setAddress0(m_storedAddress0);
    m_s.address0Enabled = true;
}

void MeterFeatureControls::editAddress0(const QString& text) {
    m_s.address0 = text;
    if (!m_s.broadcast.checked) {
        m_storedAddress0 = text;
        store(meterkeys::Address0, text);
    }
}

void MeterFeatureControls::selectFeature(int feature) {
    if (feature < 0 || feature >= MeterFeatureCount)
        return;
    m_s.feature = feature;
    store(meterkeys::Feature, QString::number(feature));
    m_s.lineSpeedVisible = false;

    if (isFeature(feature, {0, 5}))
        forceOff(Box::AlwaysInit);
    else
        restore(Box::AlwaysInit);
    if (feature == 4)
        restore(Box::AlwaysApp);
    else
        forceOff(Box::AlwaysApp);
    m_s.resetListEnabled = isFeature(feature, {4, 5});
    m_s.newAddressVisible = feature == 2;
    switch (feature) {
    case 0:
        m_s.broadcast.visible = true;
        m_s.broadcast.enabled = true;
        break;
    case 1:
    case 4:
        m_s.broadcast.visible = true;
        m_s.broadcast.enabled = !m_s.alwaysApp.checked;
        break;
    case 2:
    case 3:
        m_s.broadcast.visible = false;
        break;
    case 5:
        m_s.broadcast.visible = true;
        m_s.broadcast.enabled = false;
        reloadAddress0();
        break;
    }
    m_s.lineSpeedVisible = feature == 3;
    m_s.applyCaptionText = 691 + feature; // texts: 691-696

    if (feature <= 4)
        onBroadcast();
    onSecondary();
    m_s.headerText = (m_s.alwaysInit.checked ? 610 : 620) + feature; // texts: 610-615, 620-625
    m_s.infoText = 630 + feature;                                    // texts: 630-635
}

void MeterFeatureControls::setBroadcast(bool checked) {
    setChecked(Box::Broadcast, checked);
}
void MeterFeatureControls::setSecondary(bool checked) {
    setChecked(Box::Secondary, checked);
}
void MeterFeatureControls::setEnhanced(bool checked) {
    setChecked(Box::Enhanced, checked);
}
void MeterFeatureControls::setAlwaysInit(bool checked) {
    setChecked(Box::AlwaysInit, checked);
}
void MeterFeatureControls::setAlwaysApp(bool checked) {
    setChecked(Box::AlwaysApp, checked);
}

void MeterFeatureControls::onBroadcast() {
    const int f = m_s.feature;
    m_s.address0Enabled = isFeature(f, {2, 3}) || !m_s.broadcast.checked;
    setAddress0(m_s.broadcast.checked ? QStringLiteral("254") : m_storedAddress0);
    store(meterkeys::Broadcast, flagText(m_s.broadcast.checked));
}

void MeterFeatureControls::onSecondary() {
    const int f = m_s.feature;
    if (m_s.secondary.checked) {
        m_s.address0Visible = false;
        m_s.addressLabelText = 640; // texts: 640, 641
        m_s.secondaryBoxesVisible = true;
        forceOff(Box::AlwaysInit);
        m_s.broadcast.enabled = false;
        m_s.enhanced.visible = true;
        m_s.fabricationVisible = m_s.enhanced.checked;
        if (isFeature(f, {0, 1, 4}))
            setChecked(Box::Broadcast, false);
    } else {
        m_s.address0Visible = true;
        m_s.addressLabelText = 641;
        m_s.secondaryBoxesVisible = false;
        m_s.enhanced.visible = false;
        m_s.fabricationVisible = false;
        if (isFeature(f, {1, 2, 3, 4}))
            restore(Box::AlwaysInit);
        else
            m_s.alwaysInit.enabled = false;
        if (f == 5 || m_s.alwaysApp.checked) {
            m_s.broadcast.enabled = false;
            reloadAddress0();
        } else {
            m_s.broadcast.enabled = true;
        }
    }
    store(meterkeys::UseSecondary, flagText(m_s.secondary.checked));
}

void MeterFeatureControls::onEnhanced() {
    m_s.fabricationEnabled = m_s.enhanced.checked;
    // Shown with the secondary-address boxes it belongs to.
    m_s.fabricationVisible = m_s.enhanced.checked && m_s.secondary.checked;
    store(meterkeys::UseEnhanced, flagText(m_s.enhanced.checked));
}

void MeterFeatureControls::onAlwaysInit() {
    m_s.headerText = (m_s.alwaysInit.checked ? 610 : 620) + m_s.feature;
    store(meterkeys::AlwaysInit, flagText(m_s.alwaysInit.checked));
}

void MeterFeatureControls::onAlwaysApp() {
    const int f = m_s.feature;
    if (m_s.alwaysApp.checked && f == 1) {
        m_s.broadcast.enabled = false;
    } else if (m_s.alwaysApp.checked && f == 4) {
        m_s.broadcast.enabled = false;
        reloadAddress0();
        m_storedAddress0 = m_s.address0;
        store(meterkeys::Address0, m_s.address0);
    } else if (!m_s.secondary.checked) {
        m_s.broadcast.enabled = true;
        onBroadcast();
    }
    store(meterkeys::AlwaysApp, flagText(m_s.alwaysApp.checked));
}

// ---- Apply ---------------------------------------------------------------------------

QString normaliseWildcardDigits(const QString& text, int n) {
    QString kept;
    for (QChar c : text) {
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            kept += c;
        else if (c == QLatin1Char('F') || c == QLatin1Char('f') || c == QLatin1Char('*'))
            kept += QLatin1Char('F');
    }
    return (QString(n, QLatin1Char('F')) + kept).right(n);
}

int64_t leadingRoundedNumber(const QString& text) {
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < size && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    double value = 0;
    bool any = false;
    for (; i < size && text[i].isDigit() && text[i].unicode() < 128; ++i) {
        value = value * 10 + (text[i].unicode() - '0');
        any = true;
    }
    if (i < size && text[i] == QLatin1Char('.')) {
        double weight = 0.1;
        for (++i; i < size && text[i].unicode() >= '0' && text[i].unicode() <= '9'; ++i) {
            value += weight * (text[i].unicode() - '0');
            weight /= 10;
            any = true;
        }
    }
    if (!any)
        return 0;
    // Far beyond any address: keep it representable.
    value = std::min(value, 1e15);
    const double rounded = std::nearbyint(negative ? -value : value);
    return static_cast<int64_t>(rounded);
}

ApplyPlan planApply(const ApplyInput& in) {
    ApplyPlan p;
    int64_t a = leadingRoundedNumber(in.address);
    if (a < 0)
        a = 0;
    if (a > 255)
        a = 250;
    int64_t n = leadingRoundedNumber(in.newAddress);
    if (n < 0)
        n = 0;
    if (n > 251)
        n = 250;
    p.address = static_cast<int>(a);
    p.newAddress = static_cast<int>(n);
    p.addressText = QString::number(a);
    p.newAddressText = QString::number(n);

    const QString pad = QStringLiteral("FFFF");
    p.secId = normaliseWildcardDigits(in.secId, 8);
    p.secManufacturer = (pad + in.secManufacturer).right(4);
    p.secVersion = (pad + in.secVersion).right(2);
    p.secMedium = (pad + in.secMedium).right(2);
    p.fabrication = normaliseWildcardDigits(in.fabrication, 8);

    p.alwaysInit = in.alwaysInit;
    p.alwaysReset = in.alwaysReset;
    p.lineSpeedIndex = in.lineSpeedIndex;
    p.resetIndex = in.resetIndex;

    const int f = (in.feature >= 0 && in.feature < MeterFeatureCount) ? in.feature : 0;
    p.operation = static_cast<MeterFeature>(f);
    const bool b = in.broadcast;
    const bool s = in.secondary;
    const auto primary = static_cast<uint8_t>(p.address);
    switch (p.operation) {
    case MeterFeature::Initialise:
    case MeterFeature::ReadAddress:
        p.select = !b && s;
        p.target = b ? mbus::kAddressTest : (s ? mbus::kAddressSelected : primary);
        break;
    case MeterFeature::Diagnostic:
        p.select = !b && s;
        p.target = p.select ? mbus::kAddressSelected : primary;
        break;
    case MeterFeature::ChangeAddress:
    case MeterFeature::ChangeSpeed:
    case MeterFeature::ApplicationReset:
        p.select = s;
        p.target = s ? mbus::kAddressSelected : primary;
        break;
    }
    if (p.select && in.enhanced)
        p.selectFabrication = p.fabrication;
    return p;
}

} // namespace kestrune
