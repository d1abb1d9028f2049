#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>

// One M-Bus telegram in words, for the traffic log: what kind it is (E5,
// SND_NKE, REQ_UD2 with its FCB, SND_UD, RSP_UD, ...), to or from which
// address, what its CI means, and for a reply the identification and the
// number of records. Texts from the language file (2400 to 2459).
namespace kestrune::mbus {

// The explanation of one telegram; for bytes that are no complete M-Bus
// telegram, a line that says so. Empty for no bytes.
QString explainMBus(QByteArrayView bytes);

// "address 5", "address 253 (the selected meter)", ...
QString addressText(uint8_t a);

// The C field's name with its FCB ("REQ_UD2 FCB=1", "SND_NKE", "RSP_UD").
QString controlText(uint8_t c);

} // namespace kestrune::mbus
