#pragma once

#include <array>
#include <cstdint>

// The frame count bit the program keeps for every meter address.
//
// A meter repeats its last answer when a REQ_UD2 arrives with the same FCB
// as the one before (the master did not see it), and sends new data when the
// bit toggles. So the program remembers, per address, which FCB the next
// request carries, and the user may instead pin the bit (properties dialog,
// setting SelectedFCB). Lives for the whole run and is never stored.
namespace kestrune {

class FcbState {
public:
    // The user's choice for REQ_UD2 (setting SelectedFCB).
    enum Policy : int {
        Toggle = 0,      // automatic: toggled after every data reply
        AlwaysSet = 1,   // always 7B
        AlwaysReset = 2, // always 5B
    };

    // Whether the next REQ_UD2 or FCB-carrying SND_UD to the address is sent
    // with FCB 1. Every entry starts false.
    bool entry(uint8_t address) const { return m_entries[address]; }
    void setEntry(uint8_t address, bool fcb) { m_entries[address] = fcb; }
    void invert(uint8_t address) { m_entries[address] = !m_entries[address]; }

    // Set when the meter page connects: the next REQ_UD2 (policy Toggle)
    // starts the sequence with FCB 1 whatever the table holds.
    bool resetPending() const { return m_resetPending; }
    void setResetPending(bool pending) { m_resetPending = pending; }

    Policy policy() const { return m_policy; }
    // Values outside 0..2 leave the policy as it is.
    void setPolicy(int policy);

    // C field of a REQ_UD2 to the address (a meter read): the policy sets or
    // clears the entry, or, when toggling, a pending reset sets it once;
    // then 7B for an entry that is set, 5B otherwise. Changes the entry as
    // it goes; the caller inverts it after a data reply (afterDataReply).
    uint8_t reqUd2Control(uint8_t address);

    // C field of a setting telegram (CI 51 or B8..BD) to the address: 73
    // when the entry is set, 53 otherwise. Reads only.
    uint8_t sndUdControl(uint8_t address) const;

    // A REQ_UD2 was answered by a long frame; with a pinned policy the next
    // read sets the entry again, so this has no lasting effect there.
    void afterDataReply(uint8_t address) { invert(address); }
    // SND_NKE or an application reset was answered.
    void afterLinkReset(uint8_t address) { setEntry(address, true); }
    // A setting telegram was acknowledged with E5.
    void afterSettingAcknowledged(uint8_t address) { invert(address); }

    // Every entry false, nothing pending; the policy stays.
    void clear();

private:
    std::array<bool, 256> m_entries{};
    bool m_resetPending = false;
    Policy m_policy = Toggle;
};

// The program's one table, shared by every meter operation.
FcbState& fcbState();

// The policy stored as SelectedFCB (0 when absent or not 0..2).
int storedFcbPolicy();
// Stores the policy as SelectedFCB and makes it the table's.
void storeFcbPolicy(int policy);

} // namespace kestrune
