// Fuzzes the support library's FillString and CRC16 with arbitrary type and
// order codes and source bytes. Beyond the sanitizers it checks that
// - the text stays inside ZARVEK_TEXT_SIZE bytes and nothing past its
//   terminating zero is written;
// - integers and character texts match the documented byte-order table;
// - floating-point texts read back to the value (unless cut at 255);
// - CRC16 matches the bitwise CRC-16/MODBUS rule.
// Input: type code, order code, flags, then the source bytes.

#include "zarvek/Zarvek.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void check(bool ok) {
    if (!ok)
        __builtin_trap();
}

uint16_t referenceCrc(const uint8_t* data, size_t size) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : (crc >> 1);
    }
    return crc;
}

int widthOf(int type) {
    if (type == 0 || type == 1)
        return 2;
    if (type == 2 || type == 3 || type == 6)
        return 4;
    if (type == 4 || type == 5 || type == 7)
        return 8;
    if (type >= 8 && type <= 15)
        return (type - 7) * 2;
    return 0;
}

// Source index of the i-th byte in display order (the value most significant
// byte first, or the text), straight from the order table: ABCD as
// received, DCBA fully reversed, CDAB registers reversed, BADC the bytes of
// each register swapped.
size_t sourceIndex(size_t i, size_t n, int order) {
    switch (order) {
    case 1:
        return n - 1 - i;
    case 2:
        return (n - 2 - (i & ~size_t(1))) + (i & 1);
    case 3:
        return i ^ 1;
    default:
        return i;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const int32_t type = static_cast<int8_t>(data[0]);
    const int32_t order = static_cast<int8_t>(data[1]);
    const uint8_t flags = data[2];
    const size_t n = size - 3;
    // Exactly n bytes on the heap, so reading one more is caught.
    std::unique_ptr<uint8_t[]> source(new uint8_t[n ? n : 1]);
    if (n)
        std::memcpy(source.get(), data + 3, n);

    // CRC16 over the source.
    check(CRC16(source.get(), static_cast<uint32_t>(n)) == referenceCrc(source.get(), n));

    // FillString into exactly ZARVEK_TEXT_SIZE bytes.
    std::unique_ptr<char[]> target(new char[ZARVEK_TEXT_SIZE]);
    std::memset(target.get(), 0xA5, ZARVEK_TEXT_SIZE);
    int32_t length = static_cast<int32_t>(n);
    if (flags & 1)
        length = -length;
    check(FillString(source.get(), type, order, target.get(), length) == 0);
    const size_t used = strnlen(target.get(), ZARVEK_TEXT_SIZE);
    check(used < ZARVEK_TEXT_SIZE);
    for (size_t i = used + 1; i < ZARVEK_TEXT_SIZE; ++i)
        check(target[i] == static_cast<char>(0xA5));
    const char* text = target.get();

    const int width = widthOf(type);
    if (width == 0 || length != width) {
        check(used == 0);
        return 0;
    }
    const int effective = (order >= 0 && order <= 3) ? order : 0;
    const size_t w = static_cast<size_t>(width);
    uint8_t display[16];
    for (size_t i = 0; i < w; ++i)
        display[i] = source[sourceIndex(i, w, effective)];

    if (type >= 8) {
        const size_t expected = strnlen(reinterpret_cast<const char*>(display), w);
        check(used == expected && std::memcmp(text, display, expected) == 0);
        return 0;
    }
    uint64_t v = 0;
    for (size_t i = 0; i < w; ++i)
        v = (v << 8) | display[i];
    char* end = nullptr;
    switch (type) {
    case 0:
        check(std::strtoll(text, &end, 10) == static_cast<int16_t>(v));
        break;
    case 1:
        check(std::strtoull(text, &end, 10) == static_cast<uint16_t>(v));
        break;
    case 2:
        check(std::strtoll(text, &end, 10) == static_cast<int32_t>(v));
        break;
    case 3:
        check(std::strtoull(text, &end, 10) == static_cast<uint32_t>(v));
        break;
    case 4:
        check(std::strtoll(text, &end, 10) == static_cast<int64_t>(v));
        break;
    case 5:
        check(std::strtoull(text, &end, 10) == v);
        break;
    default: {
        double value;
        if (type == 6) {
            const uint32_t bits = static_cast<uint32_t>(v);
            float f;
            std::memcpy(&f, &bits, sizeof f);
            value = f;
        } else {
            std::memcpy(&value, &v, sizeof value);
        }
        if (std::isnan(value)) {
            check(std::strstr(text, "nan") != nullptr);
            return 0;
        }
        if (used == ZARVEK_TEXT_SIZE - 1)
            return 0; // cut short: only the bound matters
        const double back = std::strtod(text, &end);
        check(std::fabs(back - value) <= 0.5e-6 + std::fabs(value) * 1e-15 ||
              (std::isinf(value) && back == value));
        break;
    }
    }
    check(end != nullptr && *end == '\0');
    return 0;
}
