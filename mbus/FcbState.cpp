#include "mbus/FcbState.h"

#include "base/Settings.h"
#include "mbus/MBusFrame.h"

namespace kestrune {

namespace {
const QString SettingKey = QStringLiteral("SelectedFCB");
}

void FcbState::setPolicy(int policy) {
    if (policy >= Toggle && policy <= AlwaysReset)
        m_policy = static_cast<Policy>(policy);
}

uint8_t FcbState::reqUd2Control(uint8_t address) {
    switch (m_policy) {
    case AlwaysSet:
        m_entries[address] = true;
        break;
    case AlwaysReset:
        m_entries[address] = false;
        break;
    case Toggle:
        if (m_resetPending) {
            m_entries[address] = true;
            m_resetPending = false;
        }
        break;
    }
    return m_entries[address] ? mbus::kReqUd2Fcb : mbus::kReqUd2;
}

uint8_t FcbState::sndUdControl(uint8_t address) const {
    return m_entries[address] ? mbus::kSndUdFcb : mbus::kSndUd;
}

void FcbState::clear() {
    m_entries.fill(false);
    m_resetPending = false;
}

FcbState& fcbState() {
    static FcbState state;
    return state;
}

int storedFcbPolicy() {
    const int64_t v = settings::getNumber(SettingKey, QStringLiteral("0"));
    return (v >= FcbState::Toggle && v <= FcbState::AlwaysReset) ? static_cast<int>(v)
                                                                 : FcbState::Toggle;
}

void storeFcbPolicy(int policy) {
    if (policy < FcbState::Toggle || policy > FcbState::AlwaysReset)
        return;
    settings::save(SettingKey, static_cast<int64_t>(policy));
    fcbState().setPolicy(policy);
}

} // namespace kestrune
